// The register lock: re-entrant, and fair to a waiting window.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "RegisterLock.h"

TEST(RegisterLock, IsReentrantAndFreeOnlyWhenEveryTakeIsMatched) {
  RegisterLock lock;
  lock.Lock();
  lock.Lock();
  EXPECT_TRUE(lock.HeldByMe());
  lock.Unlock();
  std::atomic<bool> taken{false};
  std::thread other([&] {
    lock.Lock();
    taken = true;
    lock.Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(taken);  // still held once
  lock.Unlock();
  other.join();
  EXPECT_TRUE(taken);
  EXPECT_FALSE(lock.HeldByMe());
  lock.Unlock();  // a release without a take changes nothing
  lock.Lock();
  lock.Unlock();
}

TEST(RegisterLock, APollerThatRetakesTheLockLetsAWaitingThreadGoFirst) {
  RegisterLock lock;
  std::atomic<bool> stop{false};
  std::atomic<int> passes{0};
  std::thread poller([&] {
    while (!stop) {
      lock.LockBehindWaiters();
      ++passes;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      lock.Unlock();
    }
  });
  while (passes < 3) std::this_thread::yield();
  // Each take must succeed within about one pass, however often the poller retakes it.
  for (int i = 0; i < 20; ++i) {
    const int before = passes;
    lock.Lock();
    EXPECT_LE(passes - before, 2);
    lock.Unlock();
  }
  stop = true;
  poller.join();
}
