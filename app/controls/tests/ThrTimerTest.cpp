// The threaded timer: ticks run in the GUI thread, one at a time; they stop
// and resume as the properties say; handler errors are reported and the
// handler may destroy its timer. No test here reads the clock: where a test
// checks that no tick comes, it lets a reference timer of the same interval
// tick several times first, and where it checks that a tick comes at once,
// that tick must be there before a reference timer's. The periods themselves
// are measured by bench/controls (bench_controls_thrtimer).
#include <gtest/gtest.h>
#include <poll.h>

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QThread>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ThrTimer.h"
#include "WaitUntil.h"

namespace {

// Generous bound for a wait on an event: only a broken timer reaches it.
constexpr int Patience = 10000;  // ms

// Runs the GUI thread's events until a reference timer of `interval` ms has
// ticked `ticks` times: long enough for ticks that a timer of the same
// interval would wrongly deliver meanwhile to have come.
void LetTicksPass(quint16 interval, int ticks = 5) {
  TThreadedTimer reference;
  reference.setInterval(interval);
  int seen = 0;
  reference.setOnTimer([&](TThreadedTimer*) { ++seen; });
  ASSERT_TRUE(WaitUntil([&] { return seen >= ticks; }));
}

// Counts the ticks that the timer's worker hands to the GUI thread, whether
// or not a handler runs for them.
class HandOverCounter {
 public:
  explicit HandOverCounter(TThreadedTimer& timer) {
    auto* notifier = timer.findChild<QSocketNotifier*>();
    EXPECT_NE(notifier, nullptr);
    if (notifier) QObject::connect(notifier, &QSocketNotifier::activated, [this] { ++count; });
  }
  int count = 0;
};

// Whether `fd` becomes readable within `ms` milliseconds (0: is it now).
bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 1 && (p.revents & POLLIN);
}

TEST(ThreadedTimer, TicksRunInTheGuiThreadOneAtATime) {
  TThreadedTimer timer;
  EXPECT_TRUE(timer.enabled());
  EXPECT_EQ(timer.interval(), 1000);
  EXPECT_EQ(timer.threadPriority(), TThreadedTimer::TThreadPriority::Normal);
  timer.setInterval(10);
  int ticks = 0;
  bool inside = false, overlapped = false, wrongThread = false;
  timer.setOnTimer([&](TThreadedTimer* sender) {
    wrongThread |= QThread::currentThread() != qApp->thread() || sender != &timer;
    overlapped |= inside;
    inside = true;
    ++ticks;
    // A handler that runs the event loop itself (a message box does) while
    // several intervals pass: no second tick starts inside it.
    LetTicksPass(10, 3);
    inside = false;
  });
  ASSERT_TRUE(WaitUntil([&] { return ticks >= 3; }));
  EXPECT_FALSE(wrongThread);
  EXPECT_FALSE(overlapped);
}

// The worker hands over one tick and waits until the GUI thread has run it:
// ticks never pile up behind a slow handler.
TEST(ThreadedTimer, TheWorkerWaitsForEachTickToFinish) {
  TTimerThread worker;
  TTimerThread reference;
  worker.configure(true, 1);
  reference.configure(true, 1);
  ASSERT_TRUE(Readable(worker.tickFd(), Patience));
  ASSERT_TRUE(worker.acknowledgeTick());
  // The tick is running. The reference ticks many times meanwhile...
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(Readable(reference.tickFd(), Patience));
    ASSERT_TRUE(reference.acknowledgeTick());
    reference.tickFinished();
  }
  // ...while the worker has handed over nothing more.
  EXPECT_FALSE(Readable(worker.tickFd(), 0));
  EXPECT_FALSE(worker.acknowledgeTick());
  worker.tickFinished();
  EXPECT_TRUE(Readable(worker.tickFd(), Patience));
}

TEST(ThreadedTimer, DisablingFromItsOwnTickStopsTheTicks) {
  TThreadedTimer timer;
  timer.setInterval(20);
  int ticks = 0;
  timer.setOnTimer([&](TThreadedTimer* t) {
    ++ticks;
    t->setEnabled(false);
  });
  ASSERT_TRUE(WaitUntil([&] { return ticks > 0; }));
  LetTicksPass(20);
  EXPECT_EQ(ticks, 1);
  timer.setEnabled(true);
  EXPECT_TRUE(WaitUntil([&] { return ticks == 2; }));
}

TEST(ThreadedTimer, NoTicksWithoutIntervalHandlerOrEnabled) {
  TThreadedTimer timer;
  HandOverCounter handedOver(timer);
  timer.setInterval(20);
  LetTicksPass(20);
  EXPECT_EQ(handedOver.count, 0) << "no handler: nothing to hand over";

  int ticks = 0;
  timer.setInterval(0);
  timer.setOnTimer([&](TThreadedTimer*) { ++ticks; });
  LetTicksPass(20);
  EXPECT_EQ(ticks, 0) << "interval 0";
  EXPECT_EQ(handedOver.count, 0);

  timer.setEnabled(false);
  timer.setInterval(20);
  LetTicksPass(20);
  EXPECT_EQ(ticks, 0) << "disabled";
  EXPECT_EQ(handedOver.count, 0);

  timer.setEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return ticks > 0; }));

  // Clearing the handler stops the worker; a tick it was already handing
  // over may still arrive, and runs nothing.
  timer.setOnTimer(nullptr);
  const int atClearing = handedOver.count;
  const int ticksAtClearing = ticks;
  LetTicksPass(20);
  EXPECT_LE(handedOver.count, atClearing + 1);
  EXPECT_EQ(ticks, ticksAtClearing);
}

// A sleep whose time passed while the timer was paused ends at once on
// resuming: the resumed worker hands over its tick before a reference worker
// started at the same moment with a shorter interval does.
TEST(ThreadedTimer, ResumingAfterAnExpiredSleepTicksAtOnce) {
  TTimerThread worker;
  worker.configure(false, 1000);  // paused in its first sleep
  {
    // Started after the worker, and twice as long: once it ticks, the
    // worker's sleep has expired even if its thread began late.
    TTimerThread longer;
    longer.configure(true, 2000);
    ASSERT_TRUE(Readable(longer.tickFd(), Patience));
  }
  EXPECT_FALSE(Readable(worker.tickFd(), 0));
  worker.configure(true, 1000);
  TTimerThread shorter;
  shorter.configure(true, 900);
  ASSERT_TRUE(Readable(shorter.tickFd(), Patience));
  EXPECT_TRUE(Readable(worker.tickFd(), 0)) << "the resumed timer waited for a new interval";
}

// Restarting measures the interval from now: after the same expired sleep,
// a reference worker started just after the restart with a much shorter
// interval ticks first, and the restarted worker ticks later.
TEST(ThreadedTimer, RestartingWaitsAWholeIntervalAfterAnExpiredSleep) {
  TTimerThread worker;
  worker.configure(false, 1000);
  {
    TTimerThread longer;
    longer.configure(true, 2000);
    ASSERT_TRUE(Readable(longer.tickFd(), Patience));
  }
  worker.configure(true, 1000, true);
  TTimerThread shorter;
  shorter.configure(true, 100);
  ASSERT_TRUE(Readable(shorter.tickFd(), Patience));
  EXPECT_FALSE(Readable(worker.tickFd(), 0)) << "the restarted timer ticked at once";
  EXPECT_TRUE(Readable(worker.tickFd(), Patience));
}

TEST(ThreadedTimer, HandlerErrorsAreReportedAndTicksGoOn) {
  TThreadedTimer timer;
  timer.setInterval(20);
  QSignalSpy errors(&timer, &TThreadedTimer::tickError);
  int ticks = 0;
  timer.setOnTimer([&](TThreadedTimer*) {
    if (++ticks % 2) throw std::runtime_error("Bad MCU answer while reading.");
    throw 42;
  });
  ASSERT_TRUE(WaitUntil([&] { return errors.count() >= 4; }));
  EXPECT_EQ(errors.at(0).at(0).toString(), "Bad MCU answer while reading.");
  EXPECT_EQ(errors.at(1).at(0).toString(), "Unknown error in a timer handler");
}

TEST(ThreadedTimer, DestroyingWithATickPendingNeverDeadlocks) {
  int ticks = 0;
  {
    TThreadedTimer timer;
    timer.setInterval(1);
    timer.setOnTimer([&](TThreadedTimer*) { ++ticks; });
    // The GUI thread runs no events: the worker hands its tick over and
    // waits for it when the timer goes.
    auto* notifier = timer.findChild<QSocketNotifier*>();
    ASSERT_NE(notifier, nullptr);
    ASSERT_TRUE(Readable(static_cast<int>(notifier->socket()), Patience));
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(ticks, 0);
}

TEST(ThreadedTimer, HandlerMayDestroyItsTimer) {
  auto* timer = new TThreadedTimer;
  timer->setInterval(10);
  bool destroyed = false;
  QObject::connect(timer, &QObject::destroyed, [&] { destroyed = true; });
  timer->setOnTimer([](TThreadedTimer* t) { delete t; });
  EXPECT_TRUE(WaitUntil([&] { return destroyed; }));
}

TEST(ThreadedTimer, ManyTimersComeAndGo) {
  // Creation, reconfiguration and destruction racing with the workers.
  int ticks = 0;
  for (int round = 0; round < 30; ++round) {
    TThreadedTimer timers[4];
    for (auto& t : timers) {
      t.setInterval(quint16(1 + round % 3));
      t.setOnTimer([&](TThreadedTimer*) { ++ticks; });
    }
    const int before = ticks;
    ASSERT_TRUE(WaitUntil([&] { return ticks > before; }));
    timers[round % 4].setEnabled(false);
    timers[(round + 1) % 4].setThreadPriority(TThreadedTimer::TThreadPriority::Higher);
    timers[(round + 2) % 4].setInterval(0);
  }
  EXPECT_GT(ticks, 0);
}

}  // namespace
