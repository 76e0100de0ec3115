// The worker thread's start, stop and join rules.
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "WaitUntil.h"
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
  void Run() override {
    WorkerThread::Run();
    runReturned = true;
  }
  std::atomic<int> passes{0};
  std::atomic<bool> runReturned{false};
  int limit = 1 << 30;
  bool stopFromInside = false;
};

// Its pass waits for the stop request, then takes a while to finish: a Stop
// that did not join would return while the thread still runs.
class SlowToFinishWorker final : public WorkerThread {
 public:
  ~SlowToFinishWorker() override { Stop(); }
  bool Execute() override {
    worker = static_cast<pid_t>(syscall(SYS_gettid));
    ++passes;
    WaitForStop(std::chrono::hours(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ++finished;
    return true;
  }
  std::atomic<pid_t> worker{0};
  std::atomic<int> passes{0};
  std::atomic<int> finished{0};
};

// Whether the thread `tid` of this process still exists.
bool ThreadExists(pid_t tid) {
  return syscall(SYS_tgkill, getpid(), tid, 0) == 0;
}
}  // namespace

TEST(WorkerThread, StopWakesTheWaitAndJoinsSoNoPassRunsAfterIt) {
  SlowToFinishWorker worker;
  EXPECT_FALSE(worker.Stop());  // nothing runs yet
  ASSERT_TRUE(worker.Start());
  EXPECT_FALSE(worker.Start());  // one thread at a time
  ASSERT_TRUE(WaitUntil([&] { return worker.passes == 1; }));
  const pid_t tid = worker.worker;
  ASSERT_TRUE(ThreadExists(tid));
  ASSERT_TRUE(worker.Stop());  // returns although the pass waits for an hour
  // The pass it woke has finished, no other began, and the thread is gone.
  EXPECT_EQ(worker.finished, 1);
  EXPECT_EQ(worker.passes, 1);
  EXPECT_FALSE(ThreadExists(tid));
  EXPECT_FALSE(worker.Running());
  // It can be started again after a stop.
  ASSERT_TRUE(worker.Start());
  ASSERT_TRUE(WaitUntil([&] { return worker.passes == 2; }));
  ASSERT_TRUE(worker.Stop());
  EXPECT_EQ(worker.finished, 2);
}

TEST(WorkerThread, ExecuteReturningFalseEndsTheLoop) {
  CountingWorker worker;
  worker.limit = 3;
  ASSERT_TRUE(worker.Start());
  // The thread's body returns by itself, without a stop request.
  ASSERT_TRUE(WaitUntil([&] { return worker.runReturned.load(); }));
  EXPECT_EQ(worker.passes, 3);
  EXPECT_TRUE(worker.Stop());  // joins the ended thread
}

TEST(WorkerThread, AStopFromInsideEndsTheLoopWithoutDeadlock) {
  CountingWorker selfStopping;
  selfStopping.stopFromInside = true;
  ASSERT_TRUE(selfStopping.Start());
  ASSERT_TRUE(WaitUntil([&] { return selfStopping.runReturned.load(); }));
  EXPECT_EQ(selfStopping.passes, 1);
  EXPECT_TRUE(selfStopping.Stop());
}
