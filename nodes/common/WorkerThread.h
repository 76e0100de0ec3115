// The node libraries' worker thread: Start creates the thread, Run repeats
// Execute until Execute says stop or a stop is requested, Stop requests the
// stop and joins the thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class WorkerThread {
 public:
  WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Stops and joins a running thread. Derived classes whose Execute uses their
  // own members must call Stop in their own destructor, before those members go.
  virtual ~WorkerThread();
  // Creates the thread unless one runs; clears the stop request. True when a
  // thread was created. Throws std::system_error when no thread can be had.
  virtual bool Start();
  // The next `count` Starts in this process (that would create a thread)
  // throw std::system_error as std::thread does when the system has no
  // thread to give, so that tests can see how a node handles it. Any thread.
  static void FailNextStarts(int count);
  // The thread's body: Execute again and again while no stop is requested and Execute returns true.
  virtual void Run();
  // Requests the stop, wakes a WaitForStop in progress and joins the thread.
  // False when no thread runs. Called on the worker itself (a listener inside
  // Execute), it only requests the stop: a thread cannot join itself.
  virtual bool Stop();
  // One pass of work, on the worker thread; false ends the loop.
  virtual bool Execute() = 0;

  bool Running() const;

 protected:
  bool StopRequested() const;
  // Sleeps for `period` unless a stop is requested first; true when it was.
  bool WaitForStop(std::chrono::milliseconds period);

 private:
  // True on the worker thread itself.
  bool OnWorker() const;

  // Guards stopRequested_ and workerId_; wakeUp_ is signalled by Stop. Taken
  // by the worker (Run, StopRequested, WaitForStop) and by whoever calls Start or Stop.
  mutable std::mutex lock_;
  std::condition_variable wakeUp_;
  bool stopRequested_ = false;
  std::thread::id workerId_;  // set by the worker when it starts, cleared after the join
  // The worker's handle: used only by the owner's threads (Start, Stop, the
  // destructor), one at a time; never by the worker.
  std::thread thread_;
};
