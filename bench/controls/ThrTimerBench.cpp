// Figures for the threaded timer (TThreadedTimer), offscreen, each against a
// baseline measured in the same run:
//  1. the period between tick starts with a handler that takes 60 ms at an
//     interval of 100 ms (the next interval starts when the handler returns,
//     so the period should be 160 ms), against a QTimer of 100 ms with the
//     same handler, whose period is its interval;
//  2. how soon a tick comes after re-enabling a timer whose interval passed
//     while it was disabled (it should come at once), against the latency of
//     a zero-time QTimer::singleShot, and as a share of the interval.
//   bench_controls_thrtimer [ticks]
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchFigures.h"
#include "ThrTimer.h"

namespace {

constexpr int kIntervalMs = 100;
constexpr int kHandlerMs = 60;

// Runs the event loop until `done` holds.
template <typename Done>
void RunUntil(Done done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

// Median milliseconds between the starts of `ticks` ticks.
double ThreadedPeriod(int ticks) {
  TThreadedTimer timer;
  timer.setInterval(kIntervalMs);
  QElapsedTimer clock;
  clock.start();
  std::vector<double> starts;
  timer.setOnTimer([&](TThreadedTimer*) {
    starts.push_back(double(clock.nsecsElapsed()) / 1e6);
    QThread::msleep(kHandlerMs);
  });
  RunUntil([&] { return int(starts.size()) > ticks; });
  timer.setEnabled(false);
  std::vector<double> gaps;
  for (std::size_t i = 1; i < starts.size(); ++i) gaps.push_back(starts[i] - starts[i - 1]);
  return bench::Median(gaps);
}

double QTimerPeriod(int ticks) {
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  timer.setInterval(kIntervalMs);
  QElapsedTimer clock;
  clock.start();
  std::vector<double> starts;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    starts.push_back(double(clock.nsecsElapsed()) / 1e6);
    QThread::msleep(kHandlerMs);
  });
  timer.start();
  RunUntil([&] { return int(starts.size()) > ticks; });
  timer.stop();
  std::vector<double> gaps;
  for (std::size_t i = 1; i < starts.size(); ++i) gaps.push_back(starts[i] - starts[i - 1]);
  return bench::Median(gaps);
}

// Milliseconds from re-enabling to the tick, the interval having passed while disabled.
double ResumeLatency() {
  TThreadedTimer timer;
  timer.setInterval(kIntervalMs);
  timer.setEnabled(false);
  bool ticked = false;
  timer.setOnTimer([&](TThreadedTimer*) { ticked = true; });
  QThread::msleep(2 * kIntervalMs);
  QElapsedTimer clock;
  clock.start();
  timer.setEnabled(true);
  RunUntil([&] { return ticked; });
  return double(clock.nsecsElapsed()) / 1e6;
}

double SingleShotLatency() {
  bool fired = false;
  QElapsedTimer clock;
  clock.start();
  QTimer::singleShot(0, [&] { fired = true; });
  RunUntil([&] { return fired; });
  return double(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int ticks = argc >= 2 ? std::max(3, std::atoi(argv[1])) : 15;

  const double threaded = ThreadedPeriod(ticks);
  const double qtimer = QTimerPeriod(ticks);
  std::printf("1. Period between tick starts, interval %d ms, handler %d ms (median of %d):\n", kIntervalMs, kHandlerMs,
              ticks);
  std::printf("   QTimer (baseline):  %7.1f ms  (%.3f x its interval)\n", qtimer, qtimer / kIntervalMs);
  std::printf("   threaded timer:     %7.1f ms  (%.3f x interval + handler, %.2f x the baseline)\n", threaded,
              threaded / (kIntervalMs + kHandlerMs), threaded / qtimer);

  std::vector<double> resumes, shots;
  for (int i = 0; i < 7; ++i) {
    resumes.push_back(ResumeLatency());
    shots.push_back(SingleShotLatency());
  }
  std::printf("2. Tick after re-enabling past an expired interval (median of 7):\n");
  std::printf("   QTimer::singleShot(0) (baseline): %7.3f ms\n", bench::Median(shots));
  std::printf("   threaded timer:                   %7.3f ms  (%.1f x the baseline, %.3f of the interval)\n",
              bench::Median(resumes), bench::Median(resumes) / bench::Median(shots),
              bench::Median(resumes) / kIntervalMs);
  return 0;
}
