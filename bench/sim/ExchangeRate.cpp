// Round trips of a 6-byte register read (13 00 5A 06 -> 7 bytes) through the
// simulator in instant mode, against a baseline in the same run: a thread that
// answers every 4 bytes on a bare pty master with 7 bytes at once. The ratio
// is the simulator's own cost per exchange over the pty's.
#include "boardsim/BoardSimulator.h"
#include "boardsim/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace boardsim;

namespace {

int openClient(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

bool exchange(int fd) {
  static const uint8_t request[] = {0x13, 0x00, 0x5A, 0x06};
  if (::write(fd, request, sizeof request) != sizeof request) return false;
  uint8_t answer[16];
  std::size_t got = 0;
  while (got < 7) {
    ssize_t n = ::read(fd, answer + got, sizeof answer - got);
    if (n <= 0) return false;
    got += std::size_t(n);
  }
  return true;
}

double secondsFor(int fd, int count) {
  auto t0 = Clock::now();
  for (int i = 0; i < count; ++i)
    if (!exchange(fd)) return -1;
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

double baseline(int count) {
  PseudoTerminal pty = PseudoTerminal::open();
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    std::size_t pending = 0;
    const uint8_t answer[7] = {0x06, 0, 0, 1, 1, 0x2B, 0};
    while (!stop) {
      pollfd p{pty.masterFd(), POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      uint8_t buf[64];
      ssize_t n = ::read(pty.masterFd(), buf, sizeof buf);
      if (n <= 0) continue;
      for (pending += std::size_t(n); pending >= 4; pending -= 4)
        [[maybe_unused]] auto w = ::write(pty.masterFd(), answer, sizeof answer);
    }
  });
  int fd = openClient(pty.slavePath());
  double seconds = secondsFor(fd, count);
  ::close(fd);
  stop = true;
  echo.join();
  return seconds;
}

}  // namespace

int main() {
  const int count = 5000;
  double bare = baseline(count);
  BoardSimulator::Options options;
  options.instant = true;
  BoardSimulator sim(options);
  sim.start();
  int fd = openClient(sim.slavePath());
  double simulated = secondsFor(fd, count);
  ::close(fd);
  sim.stop();
  if (bare <= 0 || simulated <= 0) {
    std::fprintf(stderr, "an exchange failed\n");
    return 1;
  }
  std::printf("bare pty echo:      %8.1f exchanges/s (baseline)\n", count / bare);
  std::printf("board simulator:    %8.1f exchanges/s, %.2f x the baseline's time per exchange\n", count / simulated,
              simulated / bare);
  std::printf("(a real line at 19200 bit/s allows %.0f exchanges/s of this size)\n", 19200.0 / 10 / 11);
  return 0;
}
