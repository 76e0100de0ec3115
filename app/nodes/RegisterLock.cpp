#include "RegisterLock.h"

void RegisterLock::Lock() {
  std::unique_lock<std::mutex> guard(state_);
  const auto me = std::this_thread::get_id();
  if (depth_ > 0 && owner_ == me) {
    ++depth_;
    return;
  }
  ++waiters_;
  free_.wait(guard, [this] { return depth_ == 0; });
  --waiters_;
  owner_ = me;
  depth_ = 1;
}

void RegisterLock::LockBehindWaiters() {
  std::unique_lock<std::mutex> guard(state_);
  const auto me = std::this_thread::get_id();
  if (depth_ > 0 && owner_ == me) {
    ++depth_;
    return;
  }
  free_.wait(guard, [this] { return depth_ == 0 && waiters_ == 0; });
  owner_ = me;
  depth_ = 1;
}

void RegisterLock::Unlock() {
  {
    std::lock_guard<std::mutex> guard(state_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;  // not ours: ignored
    if (--depth_ > 0) return;
    owner_ = std::thread::id();
  }
  free_.notify_all();
}

bool RegisterLock::HeldByMe() const {
  std::lock_guard<std::mutex> guard(state_);
  return depth_ > 0 && owner_ == std::this_thread::get_id();
}

int RegisterLock::Waiting() const {
  std::lock_guard<std::mutex> guard(state_);
  return waiters_;
}
