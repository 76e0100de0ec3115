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

TTimerThread::TTimerThread() : m_tickFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (m_tickFd < 0)
    throw std::runtime_error(std::string("Unable to create a timer: ") + std::strerror(errno));
  m_thread = std::thread(&TTimerThread::run, this);
}

TTimerThread::~TTimerThread() {
  {
    const std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
  ::close(m_tickFd);
}

void TTimerThread::configure(bool running, int intervalMs) {
  {
    const std::lock_guard lock(m_mutex);
    m_running = running;
    m_intervalMs = intervalMs;
  }
  m_wake.notify_all();
}

bool TTimerThread::acknowledgeTick() {
  std::uint64_t count = 0;
  ssize_t got;
  while ((got = ::read(m_tickFd, &count, sizeof count)) < 0 && errno == EINTR) {
  }
  return got == sizeof count && count > 0;
}

void TTimerThread::tickFinished() {
  {
    const std::lock_guard lock(m_mutex);
    m_tickPending = false;
  }
  m_wake.notify_all();
}

void TTimerThread::run() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(m_mutex);
  auto sleepStart = Clock::now();
  for (;;) {
    // Sleep for the interval. While paused the worker waits without a
    // deadline; a sleep whose time passed during the pause ends at once.
    for (;;) {
      if (m_stop) return;
      if (!m_running) {
        m_wake.wait(lock);
        continue;
      }
      const auto deadline = sleepStart + std::chrono::milliseconds(m_intervalMs);
      if (Clock::now() >= deadline) break;
      m_wake.wait_until(lock, deadline);
    }
    // Hand the tick to the GUI thread and wait until it has run. The wait
    // also ends on stop, so that a GUI thread destroying the timer never
    // waits for a tick it would have to run itself.
    m_tickPending = true;
    const std::uint64_t one = 1;
    while (::write(m_tickFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    m_wake.wait(lock, [this] { return m_stop || !m_tickPending; });
    sleepStart = Clock::now();
  }
}

// -------------------------------------------------------------- TThreadedTimer

TThreadedTimer::TThreadedTimer(QObject *parent) : QObject(parent), m_worker(std::make_unique<TTimerThread>()) {
  m_tickNotifier = new QSocketNotifier(m_worker->tickFd(), QSocketNotifier::Read, this);
  connect(m_tickNotifier, &QSocketNotifier::activated, this, &TThreadedTimer::runTick);
  reconfigure();
}

TThreadedTimer::~TThreadedTimer() {
  m_enabled = false;
  reconfigure();
  delete m_tickNotifier;  // no tick runs from here on
  m_tickNotifier = nullptr;
  m_worker.reset();  // wakes and joins the worker, wherever it waits
}

void TThreadedTimer::setEnabled(bool enabled) {
  if (enabled == m_enabled) return;
  m_enabled = enabled;
  reconfigure();
}

void TThreadedTimer::setInterval(quint16 ms) {
  if (ms == m_interval) return;
  m_interval = ms;
  reconfigure();
}

void TThreadedTimer::setThreadPriority(TThreadPriority priority) {
  if (priority == m_priority) return;
  m_priority = priority;
  reconfigure();
}

void TThreadedTimer::setOnTimer(Handler handler) {
  m_onTimer = std::move(handler);
  reconfigure();
}

void TThreadedTimer::reconfigure() {
  if (m_worker) m_worker->configure(m_enabled && m_interval != 0 && bool(m_onTimer), m_interval);
}

void TThreadedTimer::runTick() {
  if (!m_worker->acknowledgeTick()) return;  // woken without a tick
  const QPointer<TThreadedTimer> alive(this);
  bool failed = false;
  QString error;
  if (m_onTimer) {
    const Handler handler = m_onTimer;  // the handler may replace itself
    try {
      handler(this);
    } catch (const std::exception &e) {
      failed = true;
      error = QString::fromLocal8Bit(e.what());
    } catch (...) {
      failed = true;
    }
  }
  if (failed && error.isEmpty()) error = tr("Unknown error in a timer handler");
  // The handler, or a receiver of tickError, may have destroyed the timer;
  // its worker is then gone as well.
  if (alive && failed) emit tickError(error);
  if (alive && m_worker) m_worker->tickFinished();
}
