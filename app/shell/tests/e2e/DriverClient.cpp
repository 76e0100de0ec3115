#include "DriverClient.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace e2e {

namespace {

std::string unescape(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      plain += text[i];
      continue;
    }
    const char code = text[++i];
    plain += code == 'n' ? '\n' : code == 'r' ? '\r' : code == 't' ? '\t' : code;
  }
  return plain;
}

}  // namespace

DriverClient::~DriverClient() {
  disconnect();
}

void DriverClient::disconnect() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buffer_.clear();
}

bool DriverClient::connect(const std::string& path, std::chrono::milliseconds limit) {
  disconnect();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
    disconnect();
    // The program creates the socket during its start-up: look again shortly.
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

DriverAnswer DriverClient::request(const std::vector<std::string>& fields, std::chrono::milliseconds limit) {
  DriverAnswer answer;
  if (fd_ < 0) return answer;
  std::string line;
  for (const std::string& field : fields) line += (line.empty() ? "" : "\t") + field;
  line += '\n';
  for (std::size_t sent = 0; sent < line.size();) {
    const ssize_t n = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      disconnect();
      return answer;
    }
    sent += std::size_t(n);
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (buffer_.find('\n') == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ready{fd_, POLLIN, 0};
    const int polled = left.count() > 0 ? ::poll(&ready, 1, int(left.count())) : 0;
    if (polled < 0 && errno == EINTR) continue;
    char chunk[65536];
    const ssize_t n = polled > 0 ? ::recv(fd_, chunk, sizeof chunk, 0) : 0;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // An answer that comes later would pass for the next one's: hang up.
      disconnect();
      return answer;
    }
    buffer_.append(chunk, std::size_t(n));
  }
  const std::string reply = buffer_.substr(0, buffer_.find('\n'));
  buffer_.erase(0, reply.size() + 1);
  answer.received = true;
  const auto tab = reply.find('\t');
  const std::string status = reply.substr(0, tab);
  answer.ok = status == "ok";
  if (tab != std::string::npos) answer.text = unescape(reply.substr(tab + 1));
  return answer;
}

}  // namespace e2e
