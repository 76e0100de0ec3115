#include "WorkerThread.h"

WorkerThread::~WorkerThread() {
  // Normally stopped already by the derived destructor; a thread cannot
  // outlive the object it runs on.
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else {
      {
        std::lock_guard<std::mutex> guard(lock_);
        stopRequested_ = true;
      }
      wakeUp_.notify_all();
      thread_.join();
    }
  }
}

bool WorkerThread::Start() {
  if (thread_.joinable()) return false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopRequested_ = false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void WorkerThread::Run() {
  while (!StopRequested() && Execute()) {
  }
}

bool WorkerThread::Stop() {
  if (!thread_.joinable()) return false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopRequested_ = true;
  }
  wakeUp_.notify_all();
  if (thread_.get_id() == std::this_thread::get_id()) return true;
  thread_.join();
  return true;
}

bool WorkerThread::Running() const { return thread_.joinable(); }

bool WorkerThread::StopRequested() const {
  std::lock_guard<std::mutex> guard(lock_);
  return stopRequested_;
}

bool WorkerThread::WaitForStop(std::chrono::milliseconds period) {
  std::unique_lock<std::mutex> guard(lock_);
  return wakeUp_.wait_for(guard, period, [this] { return stopRequested_; });
}
