#include "GuiWatchdog.h"

#include <cstdio>
#include <cstdlib>

GuiWatchdog::GuiWatchdog(std::chrono::seconds bound, std::string what)
    : bound_(bound), what_(std::move(what)), lastBeatMs_(nowMs()) {
  heartbeat_.setInterval(100);
  connect(&heartbeat_, &QTimer::timeout, this, &GuiWatchdog::beat);
  heartbeat_.start();
  thread_ = std::thread([this] { watch(); });
}

GuiWatchdog::~GuiWatchdog() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stopChanged_.notify_all();
  thread_.join();
}

std::chrono::milliseconds GuiWatchdog::longestStall() const {
  return std::chrono::milliseconds(longestStallMs_.load());
}

std::int64_t GuiWatchdog::nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void GuiWatchdog::beat() {
  const std::int64_t now = nowMs();
  const std::int64_t gap = now - lastBeatMs_.exchange(now);
  if (gap > longestStallMs_.load()) longestStallMs_.store(gap);
}

void GuiWatchdog::watch() {
  const std::int64_t boundMs = std::chrono::duration_cast<std::chrono::milliseconds>(bound_).count();
  std::unique_lock lock(mutex_);
  while (!stopChanged_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
    const std::int64_t silentMs = nowMs() - lastBeatMs_.load();
    if (silentMs > boundMs) {
      std::fprintf(stderr, "HANG: %s: the GUI thread processed no event for %lld ms (bound %lld ms); aborting\n",
                   what_.c_str(), static_cast<long long>(silentMs), static_cast<long long>(boundMs));
      std::fflush(stderr);
      std::abort();
    }
  }
}
