#include "WorkerThread.h"

#include <atomic>
#include <system_error>

WorkerThread::~WorkerThread() {
  // Normally stopped already by the derived destructor; a thread cannot
  // outlive the object it runs on.
  if (thread_.joinable()) {
    if (OnWorker())
      thread_.detach();
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

namespace {
// Starts left to fail (FailNextStarts); 0 in every normal run.
std::atomic<int> g_failingStarts{0};

bool TakeFailingStart() {
  int left = g_failingStarts.load();
  while (left > 0)
    if (g_failingStarts.compare_exchange_weak(left, left - 1)) return true;
  return false;
}
}  // namespace

void WorkerThread::FailNextStarts(int count) {
  g_failingStarts = count;
}

bool WorkerThread::Start() {
  if (thread_.joinable()) return false;
  if (TakeFailingStart()) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopRequested_ = false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void WorkerThread::Run() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    workerId_ = std::this_thread::get_id();
  }
  while (!StopRequested() && Execute()) {
  }
}

bool WorkerThread::OnWorker() const {
  std::lock_guard<std::mutex> guard(lock_);
  return workerId_ == std::this_thread::get_id();
}

bool WorkerThread::Stop() {
  // On the worker itself only the request is made: the thread handle belongs
  // to the owner's threads (Start may still be storing it), and a thread
  // cannot join itself.
  if (OnWorker()) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stopRequested_ = true;
    }
    wakeUp_.notify_all();
    return true;
  }
  if (!thread_.joinable()) return false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopRequested_ = true;
  }
  wakeUp_.notify_all();
  thread_.join();
  {
    std::lock_guard<std::mutex> guard(lock_);
    workerId_ = std::thread::id();
  }
  return true;
}

bool WorkerThread::Running() const {
  return thread_.joinable();
}

bool WorkerThread::StopRequested() const {
  std::lock_guard<std::mutex> guard(lock_);
  return stopRequested_;
}

bool WorkerThread::WaitForStop(std::chrono::milliseconds period) {
  std::unique_lock<std::mutex> guard(lock_);
  return wakeUp_.wait_for(guard, period, [this] { return stopRequested_; });
}
