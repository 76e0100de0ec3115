#include "PtyClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <stdexcept>

using namespace boardsim;

PtyClient::PtyClient(const std::string& path, unsigned speed) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return;
  termios tio{};
  tcgetattr(fd_, &tio);
  cfmakeraw(&tio);
  speed_t code = speed == 4800 ? B4800 : speed == 19200 ? B19200 : B9600;
  cfsetispeed(&tio, code);
  cfsetospeed(&tio, code);
  tcsetattr(fd_, TCSANOW, &tio);
}

PtyClient::~PtyClient() {
  if (fd_ >= 0) ::close(fd_);
}

void PtyClient::send(const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("write to the pty failed");
    done += std::size_t(n);
  }
}

PtyClient::Bytes PtyClient::receive(std::size_t count, Clock::duration timeout) {
  Bytes out;
  auto end = Clock::now() + timeout;
  while (out.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left < 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, int(left) + 1) <= 0) continue;
    if (p.revents & (POLLHUP | POLLERR)) break;
    uint8_t buf[256];
    ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - out.size()));
    if (n > 0) out.insert(out.end(), buf, buf + n);
  }
  return out;
}

PtyClient::Bytes PtyClient::drain() {
  Bytes out;
  uint8_t buf[256];
  for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) out.insert(out.end(), buf, buf + n);
  return out;
}

PtyClient::Bytes PtyClient::exchange(const Bytes& request, std::size_t answerLength) {
  send(request);
  return receive(answerLength, std::chrono::seconds(5));
}
