// The serial node's poll thread: waits for input on the port, reads every
// waiting byte and raises OnReception with it, and reopens the port after a
// line error or a vanished device. One per connected node.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "WorkerThread.h"

class RS232Node;

class PollThread final : public WorkerThread {
 public:
  explicit PollThread(RS232Node& node) : node_(node) {}
  ~PollThread() override;

  // Joins the multithreaded apartment around the inherited loop.
  void Run() override;
  // One poll pass, then a wait for input that never spins; always goes on.
  bool Execute() override;

  // The port lock: serialises every use of the node's control, by the poll
  // pass (this thread), by DoTransmit, Connect and Close (client threads), and
  // recursive so that a Connect of a node that is already connected can hold
  // it through the nested calls. It lives as long as this thread object.
  std::recursive_mutex& PortLock() { return portLock_; }
  // True when called on this poll thread (from inside an OnReception listener).
  bool IsCurrentThread() const { return threadId_.load() == std::this_thread::get_id(); }

  // How long one wait for input lasts; a stop request is seen within it.
  static constexpr std::chrono::milliseconds kInputWait{5};
  // Pause between passes while there is no open port to wait on, and after a
  // port recovery, so that a device that keeps failing is retried ten times
  // a second rather than in a tight loop.
  static constexpr std::chrono::milliseconds kRetryPause{100};

 private:
  enum class Pass { Delivered, Quiet, Recovered, Ended };
  Pass RunPass();
  // Under the port lock: closes and drops the control, then configures and
  // opens a fresh one with the stored settings. Failures are not reported;
  // a device that is still missing leaves the event code at "gone", so the
  // next pass tries again.
  void RecoverPort();

  RS232Node& node_;
  std::recursive_mutex portLock_;
  // The descriptor to wait on (-1 when the port is not open). Used only by
  // this thread; read from the control under the port lock. If a Connect on
  // another thread reopens the port meanwhile, one wait of kInputWait on the
  // old descriptor is all it costs.
  int waitDescriptor_ = -1;
  // The last wait said input was ready: a quiet pass after it pauses instead
  // of waiting again, so a device that polls ready with nothing to read cannot spin.
  bool inputWasReady_ = false;
  // Set by Run; read by client threads in Close.
  std::atomic<std::thread::id> threadId_{};
};
