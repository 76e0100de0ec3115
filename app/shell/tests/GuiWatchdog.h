// A hang detector for the GUI thread's event loop, for long runs under load.
// A heartbeat timer in the GUI thread stamps the time every 100 ms; a watch
// thread looks at the stamp once a second and, when it is older than the
// bound, writes a line to stderr and aborts the process, so that a hang ends
// the run at once with its cause named instead of in the CTest time-out.
// The bound is a hang detector's, far above any handler's run (a GUI thread
// that processes no event for 30 s is hung, not slow); it asserts nothing
// about speed.
//
// Threads: made and destroyed in the GUI thread, which runs the heartbeat.
// The watch thread reads the stamp (atomic) and sleeps on stopChanged_ with a
// bound of one second; mutex_ guards stop_. The destructor sets stop_, wakes
// the watch thread and joins it, so it ends within one wake-up.
#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class GuiWatchdog : public QObject {
  Q_OBJECT

 public:
  // `what` names the run in the abort message.
  GuiWatchdog(std::chrono::seconds bound, std::string what);
  ~GuiWatchdog() override;
  GuiWatchdog(const GuiWatchdog&) = delete;
  GuiWatchdog& operator=(const GuiWatchdog&) = delete;

  // The longest time between two heartbeats so far: how long the GUI thread
  // went without processing its events (a figure to print, not to assert).
  std::chrono::milliseconds longestStall() const;

 private:
  void beat();   // GUI thread
  void watch();  // the watch thread's body

  static std::int64_t nowMs();

  const std::chrono::seconds bound_;
  const std::string what_;
  QTimer heartbeat_;
  std::atomic<std::int64_t> lastBeatMs_;
  std::atomic<std::int64_t> longestStallMs_{0};

  std::mutex mutex_;
  std::condition_variable stopChanged_;
  bool stop_ = false;
  std::thread thread_;
};
