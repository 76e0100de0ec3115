// The register lock: re-entrant, so that the main thread, which holds it
// while the link is down, can take it again on paths that do not look at the
// connection state. The polling thread takes it with LockBehindWaiters, so a
// window waiting for the lock gets it before the next polling pass: with a
// plain mutex the polling thread, which retakes the lock right after each
// pass, could keep the main thread waiting for many passes.
//
// Every wait for it ends: when the holder releases it (a pass or a register
// session holds it for one access to the board, which ends within the
// protocol node's TimeOut, or at once when the program closes), or when
// Close() is called because the register access thread has been told to stop.
// The thread and its holders are listed at TCANRegAccessThread::lock_.
//
// Threads: any thread; the state is guarded by `state_`.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class RegisterLock {
 public:
  // Takes the lock, waiting while another thread holds it. False, and the
  // lock not taken, when Close() ends the wait (or was called before it).
  // The thread that holds the lock always takes it again at once.
  bool Lock();
  // Like Lock, but first lets every thread already waiting in Lock go ahead.
  bool LockBehindWaiters();
  void Unlock();
  // Ends every wait for the lock, now and later: a thread that would have to
  // wait gets false instead. A free lock can still be taken.
  void Close();
  // True when the calling thread holds the lock.
  bool HeldByMe() const;
  // How many threads wait in Lock at this moment (any thread; for diagnosis
  // and for tests that must know a thread has started waiting).
  int Waiting() const;

 private:
  bool Take(bool behindWaiters);

  // Guards every field below; `changed_` is signalled when the lock is
  // released and when it is closed.
  mutable std::mutex state_;
  std::condition_variable changed_;
  std::thread::id owner_;
  int depth_ = 0;
  int waiters_ = 0;  // threads blocked in Lock
  bool closed_ = false;
};

// Holds the register lock for one scope: taken by the constructor as `how`
// says, released by the destructor on every path (a throw included). With
// CallerHolds nothing is taken or released: the caller's own hold covers the
// scope. held() is false when Close() ended the wait; the scope must then
// not touch the target.
//
// Threads: used by the thread that takes the lock, on its own stack.
class RegisterLockHold {
 public:
  enum class Take { Now, BehindWaiters, CallerHolds };

  explicit RegisterLockHold(RegisterLock& lock, Take how = Take::Now);
  ~RegisterLockHold();
  RegisterLockHold(const RegisterLockHold&) = delete;
  RegisterLockHold& operator=(const RegisterLockHold&) = delete;

  bool held() const { return held_; }

 private:
  RegisterLock& lock_;
  bool taken_ = false;  // released by the destructor
  bool held_ = false;
};
