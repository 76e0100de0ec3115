// 1. Round trips of a 6-byte register read (13 00 5A 06 -> 7 bytes) through
//    the simulator in instant mode, against a baseline in the same run: a
//    thread that answers every 4 bytes on a bare pty master with 7 bytes at
//    once. The ratio is the simulator's own cost per exchange over the pty's.
// 2. The simulated line's timing: a 13-byte read (4 + 14 bytes on the line)
//    at 4800, 9600 and 19200 bit/s, fastest and median of 20 exchanges
//    against the wire time of those bytes (10 bit times each) and the bare
//    pty's own round trip measured in part 1.
#include "MonitorFrames.h"
#include "boardsim/BoardSimulator.h"
#include "boardsim/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
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

// Sends `request` and reads `answerLength` bytes; false on a failure.
bool exchange(int fd, const std::vector<uint8_t>& request, std::size_t answerLength) {
  if (::write(fd, request.data(), request.size()) != ssize_t(request.size())) return false;
  std::vector<uint8_t> answer(answerLength);
  std::size_t got = 0;
  while (got < answerLength) {
    ssize_t n = ::read(fd, answer.data() + got, answerLength - got);
    if (n <= 0) return false;
    got += std::size_t(n);
  }
  return true;
}

bool exchange(int fd) {
  static const std::vector<uint8_t> request = ReadRequest(0x5A, 6);
  if (::write(fd, request.data(), request.size()) != ssize_t(request.size())) return false;
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

int openClientAt(const std::string& path, unsigned speed) {
  int fd = openClient(path);
  termios tio{};
  tcgetattr(fd, &tio);
  const speed_t code = speed == 4800 ? B4800 : speed == 9600 ? B9600 : B19200;
  cfsetspeed(&tio, code);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// Part 2: one wire-timed simulator per speed.
bool lineTiming(double bareSeconds) {
  std::printf("line timing of a 13-byte read (18 bytes on the line), 20 exchanges each:\n");
  std::printf("  %-6s %10s %12s %12s %10s\n", "bit/s", "wire ms", "fastest ms", "median ms", "med/wire");
  const std::vector<uint8_t> request = ReadRequest(0x1000, 13);
  for (unsigned speed : {4800u, 9600u, 19200u}) {
    BoardSimulator sim;
    sim.start();
    int fd = openClientAt(sim.slavePath(), speed);
    std::vector<double> took;
    for (int i = 0; i < 20; ++i) {
      auto t0 = Clock::now();
      if (!exchange(fd, request, 14)) return false;
      took.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    ::close(fd);
    sim.stop();
    std::sort(took.begin(), took.end());
    const double wire = 18 * 10.0 / speed;
    std::printf("  %-6u %10.2f %12.2f %12.2f %10.3f\n", speed, wire * 1e3, took.front() * 1e3,
                took[took.size() / 2] * 1e3, took[took.size() / 2] / wire);
  }
  std::printf("  (a bare pty round trip took %.3f ms in part 1)\n", bareSeconds * 1e3);
  return true;
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
  if (!lineTiming(bare / count)) {
    std::fprintf(stderr, "a wire-timed exchange failed\n");
    return 1;
  }
  return 0;
}
