// Trace capacity: the highest steady rate of received frames that the
// register access thread takes off the cell with no frame lost, on the
// simulator with the line's own timing, at 19200, 9600 and 4800 bit/s.
//   bench_appnodes_reception [seconds per run (60)]
//
// Baseline: the wire limit for the bytes one received frame needs on its own,
// requests and answers together, 10 bit times a byte:
//   ISR seen      read of the main registers  4 + 7 = 11
//   page select   write of PSR                4 + 1 =  5
//   page read     10 bytes at 0x60, 1 at 0x6F 4 + 11 + 4 + 2 = 21
//   flag clear    write of ISR                4 + 1 =  5
// that is 42 bytes a frame. A pass that takes several frames shares the ISR
// read among them (and adds putting PSR back and the page it shows), so the
// figure can pass the limit.
//
// Each speed starts at the limit and goes down 5 % at a time until a run of
// the given length loses no frame: neither to an overrun (ORIF, all three
// buffers full) nor otherwise (the bus log's stored frames against those the
// receiver got). The frames come from the simulator's traffic generator,
// evenly spaced, 8 data bytes each.
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "BenchLink.h"
#include "boardsim/BoardSimulator.h"
#include "boardsim/TrafficGenerator.h"
#include "canregthread.h"

namespace {

constexpr int kBytesPerFrame = 11 + 5 + 21 + 5;

struct Run {
  std::uint64_t stored = 0;    // frames the cell took into a buffer
  std::uint64_t overruns = 0;  // frames lost because the buffers were full
  std::uint64_t received = 0;  // frames the receiver got
  std::uint64_t passes = 0;
  std::uint64_t failedPasses = 0;  // statuses with an error
  std::string lastError;
};

Run Measure(int speed, double rate, int seconds) {
  std::atomic<std::uint64_t> stored{0}, overruns{0};
  boardsim::BoardSimulator::Options options;  // wire-timed
  boardsim::TrafficGenerator::Settings traffic;
  traffic.rate = rate;
  options.traffic = std::make_shared<boardsim::TrafficGenerator>(traffic);
  options.onBusEvent = [&](const boardsim::BoardSimulator::BusEvent& event) {
    if (event.kind != boardsim::BoardSimulator::BusEvent::Kind::Received) return;
    if (event.reception.outcome == boardsim::CanCell::Reception::Stored) ++stored;
    if (event.reception.outcome == boardsim::CanCell::Reception::Overrun) ++overruns;
  };
  boardsim::BoardSimulator sim(options);
  sim.start();

  Run run;
  {
    BenchLink link(sim.slavePath(), speed);
    TCANRegAccessThread access(&link.protocol);
    access.SetStatusHandler([&run](const std::string& status) {
      if (status.empty()) return;
      ++run.failedPasses;
      run.lastError = status;
    });
    QObject receiver;
    const int id = access.AddReceiver(&receiver, [&](const TReception& r) { run.received += r.frames.size(); });
    access.SetReceiving(id, true);
    access.Resume();
    access.SetPolling(true);
    const QDeadlineTimer deadline{std::chrono::seconds(seconds)};
    while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    access.SetReceiving(id, false);
    sim.stop();
    run.passes = access.PassCount();
    QCoreApplication::processEvents();
    access.Terminate();
    access.Wait();
    QCoreApplication::processEvents();
  }
  run.stored = stored;
  run.overruns = overruns;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("VORELAN_COMPONENT_REGISTRY")) setenv("VORELAN_COMPONENT_REGISTRY", BUILD_REGISTRY, 1);
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 60;
  std::printf("Trace capacity: frames/s with no frame lost over %d s, against the wire limit of %d bytes a frame\n",
              seconds, kBytesPerFrame);
  std::printf("   %-8s %10s %10s %8s %10s %10s\n", "bit/s", "frames/s", "limit/s", "ratio", "received", "passes");
  for (int speed : {19200, 9600, 4800}) {
    const double limit = speed / (10.0 * kBytesPerFrame);
    double found = 0;
    Run clean;
    for (double share = 1.0; share > 0.3; share -= 0.05) {
      const Run run = Measure(speed, limit * share, seconds);
      // Up to three frames may still wait in the buffers when the run ends.
      const bool lost = run.overruns > 0 || run.received + 3 < run.stored;
      std::fprintf(stderr,
                   "   %d bit/s at %.1f frames/s: %llu stored, %llu received, %llu overruns, %llu failed passes %s\n",
                   speed, limit * share, static_cast<unsigned long long>(run.stored),
                   static_cast<unsigned long long>(run.received), static_cast<unsigned long long>(run.overruns),
                   static_cast<unsigned long long>(run.failedPasses), run.lastError.c_str());
      if (!lost) {
        found = limit * share;
        clean = run;
        break;
      }
    }
    std::printf("   %-8d %10.1f %10.1f %7.0f%% %10llu %10llu\n", speed, found, limit, 100.0 * found / limit,
                static_cast<unsigned long long>(clean.received), static_cast<unsigned long long>(clean.passes));
  }
  return 0;
}
