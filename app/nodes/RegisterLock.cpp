#include "RegisterLock.h"

bool RegisterLock::Lock() {
  return Take(false);
}

bool RegisterLock::LockBehindWaiters() {
  return Take(true);
}

bool RegisterLock::Take(bool behindWaiters) {
  std::unique_lock<std::mutex> guard(state_);
  const auto me = std::this_thread::get_id();
  if (depth_ > 0 && owner_ == me) {
    ++depth_;
    return true;
  }
  const auto available = [&] { return depth_ == 0 && (!behindWaiters || waiters_ == 0); };
  if (!behindWaiters) ++waiters_;
  changed_.wait(guard, [&] { return available() || closed_; });
  if (!behindWaiters) --waiters_;
  if (!available()) return false;  // closed while the lock was held elsewhere
  owner_ = me;
  depth_ = 1;
  return true;
}

void RegisterLock::Unlock() {
  {
    std::lock_guard<std::mutex> guard(state_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;  // not ours: ignored
    if (--depth_ > 0) return;
    owner_ = std::thread::id();
  }
  changed_.notify_all();
}

void RegisterLock::Close() {
  {
    std::lock_guard<std::mutex> guard(state_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool RegisterLock::HeldByMe() const {
  std::lock_guard<std::mutex> guard(state_);
  return depth_ > 0 && owner_ == std::this_thread::get_id();
}

int RegisterLock::Waiting() const {
  std::lock_guard<std::mutex> guard(state_);
  return waiters_;
}

RegisterLockHold::RegisterLockHold(RegisterLock& lock, Take how) : lock_(lock) {
  switch (how) {
    case Take::Now:
      taken_ = lock_.Lock();
      break;
    case Take::BehindWaiters:
      taken_ = lock_.LockBehindWaiters();
      break;
    case Take::CallerHolds:
      break;
  }
  held_ = taken_ || how == Take::CallerHolds;
}

RegisterLockHold::~RegisterLockHold() {
  if (taken_) lock_.Unlock();
}
