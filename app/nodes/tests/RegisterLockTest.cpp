// The register lock: re-entrant, and fair to a waiting window. Every wait
// here is on an event (a thread seen waiting, a pass begun) with a generous
// bound, never on the clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "RegisterLock.h"

namespace {

// Waits until `condition` holds, for 10 s at most; true when it held.
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// What the threads did, in the order they did it; each entry is made while
// the lock is held, so the order is the order in which they held it.
class Journal {
 public:
  void Add(const std::string& entry) {
    std::lock_guard<std::mutex> guard(lock_);
    entries_.push_back(entry);
  }
  std::vector<std::string> Entries() const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_;
  }

 private:
  mutable std::mutex lock_;  // guards entries_ (any thread)
  std::vector<std::string> entries_;
};

// Runs a function when it goes out of scope.
class Finally {
 public:
  explicit Finally(std::function<void()> f) : f_(std::move(f)) {}
  ~Finally() { f_(); }
  Finally(const Finally&) = delete;
  Finally& operator=(const Finally&) = delete;

 private:
  std::function<void()> f_;
};

}  // namespace

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
  ASSERT_TRUE(WaitUntil([&] { return lock.Waiting() == 1 || taken; }));
  EXPECT_FALSE(taken);  // still held once: the other thread waits
  lock.Unlock();
  other.join();
  EXPECT_TRUE(taken);
  EXPECT_FALSE(lock.HeldByMe());
  lock.Unlock();  // a release without a take changes nothing
  lock.Lock();
  lock.Unlock();
}

// A thread that waits in Lock while a polling pass holds the lock gets it
// before the poller's next pass, however quickly the poller retakes it.
TEST(RegisterLock, APollerThatRetakesTheLockLetsAWaitingThreadGoFirst) {
  RegisterLock lock;
  Journal journal;
  // Each pass of the poller parks, holding the lock, until the test releases
  // it. Guards parked and released (poller and test thread).
  std::mutex gateLock;
  std::condition_variable gateChanged;
  int parked = 0;    // the number of the pass parked now, 0 when none is
  int released = 0;  // passes up to this number may go on
  bool stop = false;
  std::jthread poller([&] {
    for (int pass = 1;; ++pass) {
      lock.LockBehindWaiters();
      journal.Add("pass");
      {
        std::unique_lock<std::mutex> gate(gateLock);
        parked = pass;
        gateChanged.notify_all();
        gateChanged.wait_for(gate, std::chrono::seconds(10), [&] { return stop || released >= pass; });
        parked = 0;
      }
      lock.Unlock();
      std::lock_guard<std::mutex> gate(gateLock);
      if (stop) return;
    }
  });
  // However the rounds end, the poller is told to stop before it is joined.
  const Finally stopPoller([&] {
    {
      std::lock_guard<std::mutex> gate(gateLock);
      stop = true;
    }
    gateChanged.notify_all();
  });
  int previous = 0;
  for (int round = 0; round < 20; ++round) {
    int held = 0;
    {
      std::unique_lock<std::mutex> gate(gateLock);
      ASSERT_TRUE(
          gateChanged.wait_for(gate, std::chrono::seconds(10), [&] { return parked != 0 && parked != previous; }));
      held = previous = parked;
    }
    // A pass holds the lock now; a window asks for it.
    std::jthread window([&] {
      lock.Lock();
      journal.Add("window");
      lock.Unlock();
    });
    ASSERT_TRUE(WaitUntil([&] { return lock.Waiting() == 1; }));
    const std::size_t before = journal.Entries().size();  // nothing moves while the pass is held
    {
      std::lock_guard<std::mutex> gate(gateLock);
      released = held;
    }
    gateChanged.notify_all();
    window.join();
    const std::vector<std::string> entries = journal.Entries();
    ASSERT_GT(entries.size(), before);
    // The window came right after the pass it waited behind.
    ASSERT_EQ(entries[before - 1], "pass") << "round " << round;
    ASSERT_EQ(entries[before], "window") << "round " << round;
  }
}

// The stop request closes the lock: every thread waiting for it gives up at
// once, whoever holds it; a lock that is free, or held by the caller, is
// still taken.
TEST(RegisterLock, CloseEndsEveryWaitWhileAFreeLockCanStillBeTaken) {
  RegisterLock lock;
  ASSERT_TRUE(lock.Lock());
  std::atomic<int> window{-1}, poller{-1};  // -1 waiting, 0 gave up, 1 took it
  std::thread windowThread([&] { window = lock.Lock() ? 1 : 0; });
  ASSERT_TRUE(WaitUntil([&] { return lock.Waiting() == 1; }));
  std::thread pollerThread([&] { poller = lock.LockBehindWaiters() ? 1 : 0; });
  lock.Close();
  windowThread.join();
  pollerThread.join();
  EXPECT_EQ(window, 0);
  EXPECT_EQ(poller, 0);
  EXPECT_TRUE(lock.Lock());  // the holder takes it again
  lock.Unlock();
  lock.Unlock();

  std::thread later([&] { window = lock.Lock() ? 1 : 0; });  // free: taken
  later.join();
  EXPECT_EQ(window, 1);
}

TEST(RegisterLockHold, ReleasesWhatItTookOnEveryPathAndNothingElse) {
  RegisterLock lock;
  // A throw out of the scope releases the lock.
  try {
    const RegisterLockHold hold(lock);
    ASSERT_TRUE(hold.held());
    ASSERT_TRUE(lock.HeldByMe());
    throw std::runtime_error("write failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(lock.HeldByMe());

  // Inside the caller's own hold, CallerHolds leaves the caller's hold alone.
  ASSERT_TRUE(lock.Lock());
  {
    const RegisterLockHold inner(lock, RegisterLockHold::Take::CallerHolds);
    EXPECT_TRUE(inner.held());
  }
  EXPECT_TRUE(lock.HeldByMe());
  lock.Unlock();
  EXPECT_FALSE(lock.HeldByMe());
}

TEST(RegisterLockHold, AWaitEndedByCloseHoldsNothing) {
  RegisterLock lock;
  ASSERT_TRUE(lock.Lock());
  std::atomic<int> outcome{-1};  // -1 waiting, 0 held nothing, 1 held
  std::thread waiter([&] {
    const RegisterLockHold hold(lock);
    outcome = hold.held() ? 1 : 0;
  });
  ASSERT_TRUE(WaitUntil([&] { return lock.Waiting() == 1; }));
  lock.Close();
  waiter.join();
  EXPECT_EQ(outcome, 0);
  EXPECT_TRUE(lock.HeldByMe());
  lock.Unlock();
}
