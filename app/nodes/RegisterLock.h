// The register lock: re-entrant, so that the main thread, which holds it
// while the link is down, can take it again on paths that do not look at the
// connection state. The polling thread takes it with LockBehindWaiters, so a
// window waiting for the lock gets it before the next polling pass: with a
// plain mutex the polling thread, which retakes the lock right after each
// pass, could keep the main thread waiting for many passes.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class RegisterLock {
 public:
  void Lock();
  // Like Lock, but first lets every thread already waiting in Lock go ahead.
  void LockBehindWaiters();
  void Unlock();
  // True when the calling thread holds the lock.
  bool HeldByMe() const;
  // How many threads wait in Lock at this moment (any thread; for diagnosis
  // and for tests that must know a thread has started waiting).
  int Waiting() const;

 private:
  // Guards every field below; `free_` is signalled when the lock is released.
  mutable std::mutex state_;
  std::condition_variable free_;
  std::thread::id owner_;
  int depth_ = 0;
  int waiters_ = 0;  // threads blocked in Lock
};

// Holds the lock for a scope.
class RegisterLockGuard {
 public:
  explicit RegisterLockGuard(RegisterLock& lock) : lock_(lock) { lock_.Lock(); }
  ~RegisterLockGuard() { lock_.Unlock(); }
  RegisterLockGuard(const RegisterLockGuard&) = delete;
  RegisterLockGuard& operator=(const RegisterLockGuard&) = delete;

 private:
  RegisterLock& lock_;
};
