#pragma once

#include "boardsim/BoardSimulator.h"
#include "boardsim/FaultSchedule.h"

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace boardsim {

// Runs a FaultSchedule against a BoardSimulator for load runs: at each
// fault's time it applies the fault through the simulator's own calls, waits
// until the fault is over, and counts it. One fault at a time: the next
// interval begins when the previous fault has ended.
//  - drop, corrupt, extra, split: armed for one answer. The fault is over,
//    and counted, when an answer was shaped by it (the simulator's fault
//    listener says so). A split used up by an answer too short to cut is
//    armed again. One withdrawn by hand (`clear`) is given up uncounted.
//  - noise: put on the line and counted at once.
//  - vanish: the device goes away (counted) and reappears `lasting` later.
//  - noack: acknowledgement off (counted), back on `lasting` later.
// Noise and vanish that find the device gone already (vanished by hand) are
// skipped uncounted. So every count is a fault that acted on the line.
//
//   FaultInjector chaos({.seed = 7, .meanInterval = 200ms});
//   chaos.start(sim);
//   ... load ...
//   chaos.stop();  // before sim goes away
//   chaos.reportLine();  // "chaos: seed=7 drop=3 corrupt=1 ... total=12"
//
// Threads: start() creates the injector thread. It alone uses the schedule,
// calls the simulator (never while holding mutex_), writes the report file
// and runs onFault. The simulator thread runs onAnswerShaped() through the
// fault listener. mutex_ guards stopRequested_, status_ and rearm_; changed_
// is signalled whenever one of them changes. The injector thread sleeps only
// on changed_, each time with a deadline: the fault's time, the end of an
// outage, or kRecheck while an answer fault waits for its answer. stop()
// sets stopRequested_ and wakes it, so it ends promptly: an outage is cut
// short (the device reappears, acknowledgement comes back on) and a waiting
// answer fault is withdrawn. Lock order: the simulator's
// faultListenerMutex_, then mutex_. start() and stop() belong to one
// owning thread; status(), waitUntil() and reportLine() may be called from
// any thread.
class FaultInjector {
 public:
  struct Counts {
    std::array<uint64_t, kFaultKindCount> byKind{};
    uint64_t operator[](FaultKind kind) const { return byKind[std::size_t(kind)]; }
    uint64_t total() const;
  };
  struct Status {
    Counts counts;
    // Under way: an answer fault waiting for its answer, a vanish or an ack-off.
    std::optional<FaultKind> active;
    bool finished = false;  // the injector thread ended: stopped, schedule over, or failed
    std::string failure;    // why it gave up (a new pty could not be opened, the report not written)
  };
  struct Options {
    // Rewritten with the report line (write and rename) at start, after
    // every fault and at stop, so another process can read it at any time.
    std::string reportPath;
    // Runs on the injector thread after each counted fault, no lock held.
    std::function<void(const ScheduledFault&)> onFault;
  };

  explicit FaultInjector(FaultSchedule::Settings settings, Options options = {});
  ~FaultInjector();  // stops
  FaultInjector(const FaultInjector&) = delete;
  FaultInjector& operator=(const FaultInjector&) = delete;

  // Installs the simulator's fault listener and starts the injector thread.
  // Once per object. Throws std::runtime_error when the report file cannot be written.
  void start(BoardSimulator& sim);
  // Ends the thread and removes the listener. Always completes; idempotent.
  // Must come before the simulator goes away.
  void stop();

  Status status() const;
  // Waits until condition(status) holds; false if it did not within timeout.
  bool waitUntil(const std::function<bool(const Status&)>& condition, Clock::duration timeout) const;
  // "chaos: seed=S drop=N corrupt=N extra=N split=N noise=N vanish=N noack=N total=N"
  std::string reportLine() const;
  static std::string reportLine(uint64_t seed, const Counts& counts);

  // How long a waiting answer fault goes before the injector checks that it is still armed.
  static constexpr Clock::duration kRecheck = std::chrono::seconds(1);

 private:
  void run();  // the injector thread's body
  // Each returns false when stop was requested during the fault.
  bool inject(const ScheduledFault& fault);
  bool injectIntoAnswer(const ScheduledFault& fault);
  bool injectOutage(const ScheduledFault& fault);
  void arm(const ScheduledFault& fault, int answers);
  void onAnswerShaped(const FaultPlan::Shaped& shaped);  // the simulator thread, through the listener
  // Counts a fault that acted, with `active` under way, then reports it.
  void counted(const ScheduledFault& fault, std::optional<FaultKind> active);
  void reported(const ScheduledFault& fault);
  void endActive();
  // Sleeps on changed_ until the deadline; false when stop was requested.
  bool sleepUntil(Clock::time_point deadline);
  void writeReport() const;  // throws std::runtime_error

  const Options options_;
  const uint64_t seed_;

  // Used by the injector thread only (and by start()/stop() around it).
  FaultSchedule schedule_;
  BoardSimulator* sim_ = nullptr;
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopRequested_ = false;
  Status status_;
  bool rearm_ = false;  // the waiting split was used up without effect: arm it again
};

}  // namespace boardsim
