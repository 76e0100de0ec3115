#include "XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <random>
#include <stdexcept>

namespace e2e {

namespace {

// One authority entry that any display number of any host matches (family
// FamilyWild, empty address and number): the display is only known once
// Xvfb has chosen it. The server takes the cookie of every entry of its file.
std::string wildcardAuthority(const std::string& cookie) {
  std::string entry;
  const auto field = [&entry](const std::string& bytes) {
    entry += char(bytes.size() >> 8);
    entry += char(bytes.size() & 0xFF);
    entry += bytes;
  };
  entry += char(0xFF);  // FamilyWild, 0xFFFF, big-endian
  entry += char(0xFF);
  field("");  // address
  field("");  // display number
  field("MIT-MAGIC-COOKIE-1");
  field(cookie);
  return entry;
}

}  // namespace

XServer::XServer(const std::string& folder, int width, int height, std::chrono::seconds limit)
    : authority_(folder + "/Xauthority") {
  std::random_device random;
  std::string cookie;
  for (int i = 0; i < 16; ++i) cookie += char(random() & 0xFF);
  {
    const int fd = ::open(authority_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("cannot write " + authority_);
    const std::string entry = wildcardAuthority(cookie);
    const bool written = ::write(fd, entry.data(), entry.size()) == ssize_t(entry.size());
    ::close(fd);
    if (!written) throw std::runtime_error("cannot write " + authority_);
  }

  int displayPipe[2];
  if (pipe2(displayPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  ChildProcess::Options options;
  options.arguments = {"/usr/bin/Xvfb",
                       "-displayfd",
                       std::to_string(displayPipe[1]),
                       "-auth",
                       authority_,
                       "-nolisten",
                       "tcp",
                       "-screen",
                       "0",
                       std::to_string(width) + "x" + std::to_string(height) + "x24"};
  options.outputFile = folder + "/Xvfb.log";
  options.keepOpen = {displayPipe[1]};
  server_ = std::make_unique<ChildProcess>(std::move(options));
  ::close(displayPipe[1]);

  // Xvfb writes the display number and a line end once it accepts clients.
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (server_->started() && number.find('\n') == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ready{displayPipe[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&ready, 1, int(left.count())) <= 0) break;
    char buffer[16];
    const ssize_t n = ::read(displayPipe[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, std::size_t(n));
  }
  ::close(displayPipe[0]);
  if (number.find('\n') == std::string::npos)
    throw std::runtime_error("Xvfb did not start (see " + folder + "/Xvfb.log)");
  display_ = ":" + number.substr(0, number.find('\n'));
}

XServer::~XServer() {
  server_->signal(SIGTERM);
  if (!server_->waitForEnd(std::chrono::seconds(10))) server_->signal(SIGKILL);  // reaped by the destructor
}

}  // namespace e2e
