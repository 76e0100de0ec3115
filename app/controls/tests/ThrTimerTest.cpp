#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ThrTimer.h"

namespace {

// Generous bounds: these tests also run under the sanitizers.
constexpr int Slack = 400;

TEST(ThreadedTimer, TicksRunInTheGuiThreadAndNeverOverlap) {
  TThreadedTimer timer;
  EXPECT_TRUE(timer.enabled());
  EXPECT_EQ(timer.interval(), 1000);
  EXPECT_EQ(timer.threadPriority(), TThreadedTimer::TThreadPriority::Normal);
  timer.setInterval(100);
  std::vector<qint64> starts;
  QElapsedTimer clock;
  clock.start();
  bool wrongThread = false;
  timer.setOnTimer([&](TThreadedTimer* sender) {
    wrongThread |= QThread::currentThread() != qApp->thread() || sender != &timer;
    starts.push_back(clock.elapsed());
    QThread::msleep(60);  // the next interval starts when this returns
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return starts.size() >= 5; }, 5000));
  EXPECT_FALSE(wrongThread);
  for (size_t i = 1; i < starts.size(); ++i) {
    const qint64 gap = starts[i] - starts[i - 1];
    EXPECT_GE(gap, 160 - 5) << i;
    EXPECT_LE(gap, 160 + Slack) << i;
  }
}

TEST(ThreadedTimer, DisablingFromItsOwnTickStopsTheTicks) {
  TThreadedTimer timer;
  timer.setInterval(20);
  int ticks = 0;
  timer.setOnTimer([&](TThreadedTimer* t) {
    ++ticks;
    t->setEnabled(false);
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > 0; }, 3000));
  QTest::qWait(200);
  EXPECT_EQ(ticks, 1);
  timer.setEnabled(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ticks == 2; }, 3000));
}

TEST(ThreadedTimer, NoTicksWithoutIntervalHandlerOrEnabled) {
  TThreadedTimer timer;
  timer.setInterval(20);
  QTest::qWait(100);  // no handler: nothing to deliver

  int ticks = 0;
  timer.setInterval(0);
  timer.setOnTimer([&](TThreadedTimer*) { ++ticks; });
  QTest::qWait(150);
  EXPECT_EQ(ticks, 0);
  timer.setInterval(20);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > 0; }, 3000));

  timer.setOnTimer(nullptr);
  QTest::qWait(50);
  const int afterClearing = ticks;
  QTest::qWait(150);
  EXPECT_LE(ticks, afterClearing);
}

TEST(ThreadedTimer, ResumingAfterAnExpiredSleepTicksAtOnce) {
  TThreadedTimer timer;
  timer.setInterval(600);
  QElapsedTimer clock;
  qint64 tickAt = -1;
  timer.setOnTimer([&](TThreadedTimer*) { tickAt = clock.elapsed(); });
  timer.setEnabled(false);  // paused in its sleep
  QTest::qWait(700);        // the sleep's time passes while paused
  EXPECT_EQ(tickAt, -1);
  clock.start();
  timer.setEnabled(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return tickAt >= 0; }, 3000));
  EXPECT_LT(tickAt, 300);  // well before a full interval
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
  ASSERT_TRUE(QTest::qWaitFor([&] { return errors.count() >= 4; }, 5000));
  EXPECT_EQ(errors.at(0).at(0).toString(), "Bad MCU answer while reading.");
  EXPECT_EQ(errors.at(1).at(0).toString(), "Unknown error in a timer handler");
}

TEST(ThreadedTimer, DestroyingWithATickPendingNeverDeadlocks) {
  int ticks = 0;
  {
    TThreadedTimer timer;
    timer.setInterval(1);
    timer.setOnTimer([&](TThreadedTimer*) { ++ticks; });
    // The GUI thread does not run events: the worker has posted its tick and
    // waits for it when the timer goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  QCoreApplication::processEvents();
  QTest::qWait(50);
  EXPECT_EQ(ticks, 0);
}

TEST(ThreadedTimer, HandlerMayDestroyItsTimer) {
  auto* timer = new TThreadedTimer;
  timer->setInterval(10);
  bool destroyed = false;
  QObject::connect(timer, &QObject::destroyed, [&] { destroyed = true; });
  timer->setOnTimer([](TThreadedTimer* t) { delete t; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return destroyed; }, 3000));
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > before; }, 3000));
    timers[round % 4].setEnabled(false);
    timers[(round + 1) % 4].setThreadPriority(TThreadedTimer::TThreadPriority::Higher);
    timers[(round + 2) % 4].setInterval(0);
  }
  EXPECT_GT(ticks, 0);
}

}  // namespace
