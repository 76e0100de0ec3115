// TThreadedTimer: periodic timer whose waiting happens in a worker thread of
// its own (TTimerThread). The worker sleeps for the interval, has the tick
// handler run in the GUI thread and waits until the handler has returned; so
// ticks never overlap nor pile up, and a slow handler stretches the period.
//
// Threads: the timer object, its properties and its handler belong to the GUI
// thread; the worker only waits and signals ticks. Errors thrown by the handler
// are caught in the GUI thread and reported through tickError, and the ticks
// go on.
#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QSocketNotifier;

// The worker of one TThreadedTimer. Created and destroyed by the timer in the
// GUI thread; its own thread runs run(). It hands a tick to the GUI thread by
// making tickFd() readable; the timer watches that descriptor with a socket
// notifier, so the worker never touches Qt's event queue.
class TTimerThread {
 public:
  // Throws std::runtime_error when the wake-up descriptor cannot be made.
  TTimerThread();
  // Stops the worker and joins it. Wakes the worker wherever it waits (paused,
  // sleeping, or waiting for a tick the GUI thread has not run yet) before
  // joining, so this never deadlocks against a pending tick.
  ~TTimerThread();
  TTimerThread(const TTimerThread&) = delete;
  TTimerThread& operator=(const TTimerThread&) = delete;

  // GUI thread: whether ticks may run, and the interval. Called on every
  // change of Enabled, Interval, ThreadPriority or OnTimer. With restartSleep
  // the sleep in progress starts anew, so the next tick comes one whole
  // interval from now.
  void configure(bool running, int intervalMs, bool restartSleep = false);

  // Readable while a tick waits to be run in the GUI thread.
  int tickFd() const { return tickFd_; }
  // GUI thread: takes the tick off the descriptor before running it; false
  // when there was none.
  bool acknowledgeTick();
  // GUI thread: the tick has finished; lets the worker go on.
  void tickFinished();

 private:
  void run();  // worker thread

  int tickFd_;  // eventfd: written by the worker, read by the GUI thread
  // Guards every member below. Taken briefly by the GUI thread (configure,
  // tickFinished, stop) and by the worker between its waits; never held
  // while the GUI thread runs a handler.
  std::mutex mutex_;
  std::condition_variable wake_;  // signalled on every change of the state below
  bool running_ = false;          // Enabled, Interval != 0 and OnTimer assigned
  int intervalMs_ = 0;
  bool tickPending_ = false;   // a tick is handed over and has not finished yet
  bool restartSleep_ = false;  // the next sleep is measured from when the worker sees this
  bool stop_ = false;
  std::thread thread_;  // started last, when the state above exists
};

class TThreadedTimer : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool Enabled READ enabled WRITE setEnabled)
  Q_PROPERTY(quint16 Interval READ interval WRITE setInterval)
  Q_PROPERTY(TThreadPriority ThreadPriority READ threadPriority WRITE setThreadPriority)

 public:
  enum class TThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };
  Q_ENUM(TThreadPriority)

  // OnTimer: runs in the GUI thread with the timer as sender. It may throw;
  // the message then goes out through tickError.
  using Handler = std::function<void(TThreadedTimer* sender)>;

  // Starts the worker at once; ticks begin when a handler is set.
  explicit TThreadedTimer(QObject* parent = nullptr);
  // Stops the worker; no tick runs afterwards.
  ~TThreadedTimer() override;

  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);
  quint16 interval() const { return interval_; }
  // Milliseconds between the end of one tick and the start of the next; 0
  // stops the ticks.
  void setInterval(quint16 ms);
  // Kept for the window layouts; the worker runs at the priority it started
  // with, which is the default.
  TThreadPriority threadPriority() const { return priority_; }
  void setThreadPriority(TThreadPriority priority);
  // Enables the timer with its interval starting now: the next tick comes one
  // whole interval later, however long the timer was paused. (Enabling alone
  // goes on with the sleep the pause interrupted.) A tick already handed to
  // the GUI thread still runs.
  void restart();
  bool hasOnTimer() const { return bool(onTimer_); }
  // Setting or clearing the handler always re-evaluates the worker.
  void setOnTimer(Handler handler);

 signals:
  // An error thrown by the tick handler, as its message. Emitted in the GUI
  // thread; the main window connects it to its error display.
  void tickError(const QString& message);

 private:
  // GUI thread: one tick, signalled by the worker.
  void runTick();
  void reconfigure(bool restartSleep = false);

  bool enabled_ = true;
  quint16 interval_ = 1000;
  TThreadPriority priority_ = TThreadPriority::Normal;
  Handler onTimer_;
  std::unique_ptr<TTimerThread> worker_;
  QSocketNotifier* tickNotifier_ = nullptr;  // child; watches the worker's tickFd()
};
