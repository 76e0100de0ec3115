#include "ThrTimer.h"

#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include <sys/eventfd.h>
#include <unistd.h>

// ---------------------------------------------------------------- TTimerThread

TTimerThread::TTimerThread() : tickFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (tickFd_ < 0) throw std::runtime_error(std::string("Unable to create a timer: ") + std::strerror(errno));
  thread_ = std::thread(&TTimerThread::run, this);
}

TTimerThread::~TTimerThread() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  ::close(tickFd_);
}

void TTimerThread::configure(bool running, int intervalMs, bool restartSleep) {
  {
    const std::lock_guard lock(mutex_);
    running_ = running;
    intervalMs_ = intervalMs;
    restartSleep_ = restartSleep_ || restartSleep;
  }
  wake_.notify_all();
}

bool TTimerThread::acknowledgeTick() {
  std::uint64_t count = 0;
  ssize_t got;
  while ((got = ::read(tickFd_, &count, sizeof count)) < 0 && errno == EINTR) {
  }
  return got == sizeof count && count > 0;
}

void TTimerThread::tickFinished() {
  {
    const std::lock_guard lock(mutex_);
    tickPending_ = false;
  }
  wake_.notify_all();
}

void TTimerThread::run() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(mutex_);
  auto sleepStart = Clock::now();
  for (;;) {
    // Sleep for the interval. While paused the worker waits without a
    // deadline; a sleep whose time passed during the pause ends at once.
    for (;;) {
      if (stop_) return;
      if (!running_) {
        wake_.wait(lock);
        continue;
      }
      if (restartSleep_) {
        restartSleep_ = false;
        sleepStart = Clock::now();
      }
      const auto deadline = sleepStart + std::chrono::milliseconds(intervalMs_);
      if (Clock::now() >= deadline) break;
      wake_.wait_until(lock, deadline);
    }
    // Hand the tick to the GUI thread and wait until it has run. The wait
    // also ends on stop, so that a GUI thread destroying the timer never
    // waits for a tick it would have to run itself.
    tickPending_ = true;
    const std::uint64_t one = 1;
    while (::write(tickFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    wake_.wait(lock, [this] { return stop_ || !tickPending_; });
    sleepStart = Clock::now();
  }
}

// -------------------------------------------------------------- TThreadedTimer

TThreadedTimer::TThreadedTimer(QObject* parent) : QObject(parent), worker_(std::make_unique<TTimerThread>()) {
  tickNotifier_ = new QSocketNotifier(worker_->tickFd(), QSocketNotifier::Read, this);
  connect(tickNotifier_, &QSocketNotifier::activated, this, &TThreadedTimer::runTick);
  reconfigure();
}

TThreadedTimer::~TThreadedTimer() {
  enabled_ = false;
  reconfigure();
  delete tickNotifier_;  // no tick runs from here on
  tickNotifier_ = nullptr;
  worker_.reset();  // wakes and joins the worker, wherever it waits
}

void TThreadedTimer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  reconfigure();
}

void TThreadedTimer::setInterval(quint16 ms) {
  if (ms == interval_) return;
  interval_ = ms;
  reconfigure();
}

void TThreadedTimer::setThreadPriority(TThreadPriority priority) {
  if (priority == priority_) return;
  priority_ = priority;
  reconfigure();
}

void TThreadedTimer::setOnTimer(Handler handler) {
  onTimer_ = std::move(handler);
  reconfigure();
}

void TThreadedTimer::restart() {
  enabled_ = true;
  reconfigure(true);
}

void TThreadedTimer::reconfigure(bool restartSleep) {
  if (worker_) worker_->configure(enabled_ && interval_ != 0 && bool(onTimer_), interval_, restartSleep);
}

void TThreadedTimer::runTick() {
  if (!worker_->acknowledgeTick()) return;  // woken without a tick
  const QPointer<TThreadedTimer> alive(this);
  bool failed = false;
  QString error;
  if (onTimer_) {
    const Handler handler = onTimer_;  // the handler may replace itself
    try {
      handler(this);
    } catch (const std::exception& e) {
      failed = true;
      error = QString::fromLocal8Bit(e.what());
    } catch (...) {
      failed = true;
    }
  }
  if (failed && error.isEmpty()) error = QStringLiteral("Unknown error in a timer handler");
  // The handler, or a receiver of tickError, may have destroyed the timer;
  // its worker is then gone as well.
  if (alive && failed) emit tickError(error);
  if (alive && worker_) worker_->tickFinished();
}
