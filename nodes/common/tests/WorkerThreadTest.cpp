// The worker thread's start, stop and join rules.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "WorkerThread.h"

namespace {
class CountingWorker final : public WorkerThread {
 public:
  ~CountingWorker() override { Stop(); }
  bool Execute() override {
    ++passes;
    if (stopFromInside) Stop();
    return passes < limit;
  }
  bool Sleep(std::chrono::milliseconds period) { return WaitForStop(period); }
  std::atomic<int> passes{0};
  int limit = 1 << 30;
  bool stopFromInside = false;
};

class SleepingWorker final : public WorkerThread {
 public:
  ~SleepingWorker() override { Stop(); }
  bool Execute() override {
    WaitForStop(std::chrono::hours(1));
    return true;
  }
};
}  // namespace

TEST(WorkerThread, StopJoinsSoNoPassRunsAfterIt) {
  CountingWorker worker;
  EXPECT_FALSE(worker.Stop());  // nothing runs yet
  ASSERT_TRUE(worker.Start());
  EXPECT_FALSE(worker.Start());  // one thread at a time
  while (worker.passes < 10) std::this_thread::yield();
  ASSERT_TRUE(worker.Stop());
  const int after = worker.passes;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(worker.passes, after);
  EXPECT_FALSE(worker.Running());
  // It can be started again after a stop.
  ASSERT_TRUE(worker.Start());
  ASSERT_TRUE(worker.Stop());
}

TEST(WorkerThread, ExecuteReturningFalseEndsTheLoop) {
  CountingWorker worker;
  worker.limit = 3;
  worker.Start();
  worker.Stop();
  EXPECT_LE(worker.passes, 3);
}

TEST(WorkerThread, StopWakesAWaitAndAStopFromInsideDoesNotDeadlock) {
  SleepingWorker sleeper;
  sleeper.Start();
  sleeper.Stop();  // returns although the pass waits for an hour

  CountingWorker selfStopping;
  selfStopping.stopFromInside = true;
  selfStopping.Start();
  while (selfStopping.passes == 0) std::this_thread::yield();
  selfStopping.Stop();
  EXPECT_EQ(selfStopping.passes, 1);
}
