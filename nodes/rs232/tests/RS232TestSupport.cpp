#include "RS232TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

PseudoTerminal::PseudoTerminal() {
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  char name[128] = {};
  int slave = -1;
  if (openpty(&master_, &slave, name, &raw, nullptr) != 0) {
    master_ = -1;
    return;
  }
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  slavePath_ = name;
  ::close(slave);
}

PseudoTerminal::~PseudoTerminal() {
  CloseMaster();
}

void PseudoTerminal::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

bool PseudoTerminal::Write(const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n < 0 && errno != EINTR && errno != EAGAIN)
      return false;
  }
  return true;
}

Bytes PseudoTerminal::Read(std::size_t count, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + limit;
  Bytes bytes;
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd input{master_, POLLIN, 0};
    if (poll(&input, 1, static_cast<int>(left)) <= 0) continue;
    std::uint8_t chunk[4096];
    const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - bytes.size()));
    if (n > 0)
      bytes.insert(bytes.end(), chunk, chunk + n);
    else if (n < 0 && errno == EIO)
      usleep(1000);  // no slave open at the moment
  }
  return bytes;
}

int ThreadCount() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks))
      if (entry->d_name[0] != '.') ++count;
    closedir(tasks);
  }
  return count;
}

std::set<pid_t> ThreadIds() {
  std::set<pid_t> ids;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks))
      if (entry->d_name[0] != '.') ids.insert(static_cast<pid_t>(std::atoi(entry->d_name)));
    closedir(tasks);
  }
  return ids;
}

long SleepsOf(pid_t tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  std::string line;
  const std::string field = "voluntary_ctxt_switches:";
  while (std::getline(status, line))
    if (line.compare(0, field.size(), field) == 0) return std::atol(line.c_str() + field.size());
  return -1;
}
