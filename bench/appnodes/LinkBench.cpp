// Figures for the application node layer, each against a baseline measured
// in the same run:
//  1. polling passes per second with the simulator emulating the wire at
//     19200, 9600 and 4800 bit/s, against the wire-time limit computed from
//     the bytes each pass puts on the line (request + answer, 10 bit times a byte);
//  2. ReadMemory exchanges per second and CPU per exchange with the simulator
//     answering at once, against a client that writes the same request and
//     reads the answer with plain blocking write()/read() on the same pty;
//  3. the CPU the program's process spends over 10 s with the polling thread
//     running at 19200 bit/s (the simulator runs in a separate process);
//  4. a link that fails at once (the port closed under the nodes): polling
//     passes per second and CPU, against the rate that the pause after a
//     failed pass allows;
//  5. a board that does not answer: how long ReadMemory takes to fail with
//     the time-out, against the TimeOut, and how soon ShutDown ends such a
//     wait, against the same TimeOut.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "BenchLink.h"
#include "MonitorFrames.h"
#include "boardsim/BoardSimulator.h"
#include "canregthread.h"
#include "rs232.h"
#include "tavarnel.h"

using Clock = std::chrono::steady_clock;

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void PollingAgainstWireTime() {
  std::printf("1. Polling passes (PSR = 0: 3 reads, 25 bytes on the line per pass)\n");
  std::printf("   %-8s %12s %12s %8s\n", "bit/s", "passes/s", "limit/s", "ratio");
  for (int speed : {19200, 9600, 4800}) {
    boardsim::BoardSimulator sim;  // wire-timed
    sim.start();
    BenchLink link(sim.slavePath(), speed);
    // The thread polls on its own, as in the program while no window works.
    TCANRegAccessThread access(&link.protocol);
    access.Resume();
    access.SetPolling(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // settle
    const std::uint64_t passes0 = access.PassCount();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double passes = double(access.PassCount() - passes0);
    const double elapsed = Seconds(Clock::now() - start);
    const double bytesPerPass = (4 + 7) + (4 + 3) + (4 + 3);
    const double limit = speed / (10.0 * bytesPerPass);
    const double rate = passes / elapsed;
    std::printf("   %-8d %12.1f %12.1f %7.1f%%%s\n", speed, rate, limit, 100.0 * rate / limit,
                access.StatusText().empty() ? "" : (" last error: " + access.StatusText()).c_str());
  }
}

struct Rate {
  double perSecond;
  double cpuPerExchange;
};

// `exchanges` back-to-back calls of `exchange`; its rate and CPU per call.
Rate Measure(int exchanges, const std::function<void()>& exchange) {
  const double cpu0 = CpuSeconds();
  const auto start = Clock::now();
  for (int i = 0; i < exchanges; ++i) exchange();
  const double elapsed = Seconds(Clock::now() - start);
  return {exchanges / elapsed, (CpuSeconds() - cpu0) / exchanges};
}

void ReadMemoryAgainstPlainClient() {
  constexpr int Rounds = 7, Exchanges = 1000;
  boardsim::BoardSimulator::Options options;
  options.instant = true;
  boardsim::BoardSimulator sim(options);
  sim.start();

  // Baseline: a plain blocking client on the same pty. The two clients take
  // turns, round by round, so a change in the machine's load hits both.
  int fd = open(sim.slavePath().c_str(), O_RDWR | O_NOCTTY);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  cfsetspeed(&tio, B19200);
  tcsetattr(fd, TCSANOW, &tio);
  const std::vector<std::uint8_t> request = ReadRequest(0x5A, 6);
  auto plainExchange = [&fd, &request] {
    unsigned char answer[7];
    if (write(fd, request.data(), request.size()) != 4) std::abort();
    std::size_t got = 0;
    while (got < sizeof answer) {
      const ssize_t n = read(fd, answer + got, sizeof answer - got);
      if (n <= 0) std::abort();
      got += static_cast<std::size_t>(n);
    }
  };
  std::vector<double> plainRates, plainCpu, nodeRates, nodeCpu;
  for (int round = 0; round < Rounds; ++round) {
    const Rate plain = Measure(Exchanges, plainExchange);
    plainRates.push_back(plain.perSecond);
    plainCpu.push_back(plain.cpuPerExchange);
    // The nodes open the port exclusively, so each round reopens them.
    close(fd);
    {
      BenchLink link(sim.slavePath(), 19200);
      std::uint8_t data[6];
      link.protocol.ReadMemory(0x5A, data, 6);
      const Rate nodes = Measure(Exchanges, [&] { link.protocol.ReadMemory(0x5A, data, 6); });
      nodeRates.push_back(nodes.perSecond);
      nodeCpu.push_back(nodes.cpuPerExchange);
    }
    fd = open(sim.slavePath().c_str(), O_RDWR | O_NOCTTY);
    tcsetattr(fd, TCSANOW, &tio);
  }
  close(fd);
  std::printf(
      "2. ReadMemory of 6 bytes, simulator answering at once (median of %d rounds of %d exchanges;\n"
      "   CPU includes the in-process simulator's thread in both)\n",
      Rounds, Exchanges);
  std::printf("   plain read()/write() client: %9.0f exchanges/s, %7.1f us CPU each\n", bench::Median(plainRates),
              bench::Median(plainCpu) * 1e6);
  std::printf("   through both nodes:          %9.0f exchanges/s, %7.1f us CPU each\n", bench::Median(nodeRates),
              bench::Median(nodeCpu) * 1e6);
  std::printf("   rate ratio %.2f (nodes / plain), CPU ratio %.2f\n",
              bench::Median(nodeRates) / bench::Median(plainRates), bench::Median(nodeCpu) / bench::Median(plainCpu));
}

void PollingThreadCpu(int seconds) {
  const std::string link =
      (std::filesystem::temp_directory_path() / ("vorelan-bench-" + std::to_string(getpid()))).string();
  const pid_t child = fork();
  if (child == 0) {
    execl(BOARDSIM_PROGRAM, BOARDSIM_PROGRAM, "--link", link.c_str(), "--quiet", static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200 && !std::filesystem::exists(link); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  {
    BenchLink nodes(link, 19200);
    TCANRegAccessThread access(&nodes.protocol);
    access.Resume();
    access.SetPolling(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = Seconds(Clock::now() - start);
    const double share = (CpuSeconds() - cpu0) / wall;
    access.Terminate();
    access.Wait();
    std::printf(
        "3. Polling thread running at 19200 bit/s for %.1f s (simulator in another process):\n"
        "   %.2f%% of one core in this process (idle baseline: 0%%; target under 5%%)\n",
        wall, 100 * share);
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
}

void DeadLinkCadence() {
  boardsim::BoardSimulator::Options options;
  options.instant = true;
  boardsim::BoardSimulator sim(options);
  sim.start();
  BenchLink link(sim.slavePath(), 19200);
  link.serial.Close();  // every access now fails at once
  TCANRegAccessThread access(&link.protocol);
  access.Resume();
  access.SetPolling(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto passes0 = access.PassCount();
  const double cpu0 = CpuSeconds();
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double wall = Seconds(Clock::now() - start);
  const double rate = double(access.PassCount() - passes0) / wall;
  const double share = (CpuSeconds() - cpu0) / wall;
  access.Terminate();
  access.Wait();
  const double allowed = 1000.0 / double(TCANRegAccessThread::FailedPassPause.count());
  std::printf(
      "4. A link that fails at once, over %.1f s:\n"
      "   %.1f passes/s against %.1f/s that the %lld ms pause allows (ratio %.2f), %.2f%% of one core\n",
      wall, rate, allowed, static_cast<long long>(TCANRegAccessThread::FailedPassPause.count()), rate / allowed,
      100 * share);
}

void SilentBoardTimes() {
  constexpr int kTimeOutMs = 1000, kSamples = 5;  // the TimeOut that Link sets
  boardsim::BoardSimulator::Options options;
  options.instant = true;
  boardsim::BoardSimulator sim(options);
  sim.start();
  std::vector<double> timeOuts, shutDowns;
  for (int i = 0; i < kSamples; ++i) {
    {
      BenchLink link(sim.slavePath(), 19200);
      std::uint8_t data[6];
      sim.dropAnswers(1);
      const auto start = Clock::now();
      try {
        link.protocol.ReadMemory(0x5A, data, 6);
      } catch (const std::exception&) {
      }
      timeOuts.push_back(Seconds(Clock::now() - start) * 1e3);
    }
    {
      BenchLink link(sim.slavePath(), 19200);
      std::uint8_t data[6];
      sim.dropAnswers(1);
      const std::size_t served = sim.transcript().requests().size();
      Clock::time_point ended;
      std::thread reader([&] {
        try {
          link.protocol.ReadMemory(0x5A, data, 6);
        } catch (const std::exception&) {
        }
        ended = Clock::now();
      });
      while (sim.transcript().requests().size() <= served) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the access waits for its answer now
      const auto shutDown = Clock::now();
      link.protocol.ShutDown();
      reader.join();
      shutDowns.push_back(Seconds(ended - shutDown) * 1e3);
    }
  }
  sim.stop();
  std::printf("5. A board that does not answer, TimeOut %d ms (median of %d):\n", kTimeOutMs, kSamples);
  std::printf("   ReadMemory fails with the time-out after %8.1f ms (%.3f x TimeOut)\n", bench::Median(timeOuts),
              bench::Median(timeOuts) / kTimeOutMs);
  std::printf("   ShutDown ends the waiting access after   %8.3f ms (%.5f x TimeOut)\n", bench::Median(shutDowns),
              bench::Median(shutDowns) / kTimeOutMs);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("VORELAN_COMPONENT_REGISTRY")) setenv("VORELAN_COMPONENT_REGISTRY", BUILD_REGISTRY, 1);
  QCoreApplication app(argc, argv);
  const int cpuSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
  try {
    PollingAgainstWireTime();
    ReadMemoryAgainstPlainClient();
    PollingThreadCpu(cpuSeconds > 0 ? cpuSeconds : 10);
    DeadLinkCadence();
    SilentBoardTimes();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_appnodes_link: %s\n", e.what());
    return 1;
  }
  return 0;
}
