#include "TimeOutWatcher.h"

namespace {

constexpr std::chrono::milliseconds kPassPeriod{100};

// The millisecond tick count, wrapping at 32 bits like the requests' start ticks.
std::uint32_t TickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

std::shared_ptr<TimeOutWatcher> TimeOutWatcher::Create(std::size_t channels, Report report) {
  return std::shared_ptr<TimeOutWatcher>(new TimeOutWatcher(channels, std::move(report)), &Dispose);
}

TimeOutWatcher::TimeOutWatcher(std::size_t channels, Report report) : table_(channels), report_(std::move(report)) {}

TimeOutWatcher::~TimeOutWatcher() {
  Stop();
}

void TimeOutWatcher::Dispose(TimeOutWatcher* watcher) {
  if (watcher->OnWatcherThread()) {
    // A thread cannot join itself: let it finish its pass and free the watcher in Run.
    watcher->Shutdown();
    watcher->orphaned_ = true;
    return;
  }
  watcher->Shutdown();
  delete watcher;
}

bool TimeOutWatcher::OnWatcherThread() const {
  return watcherId_.load() == std::this_thread::get_id();
}

void TimeOutWatcher::Run() {
  watcherId_ = std::this_thread::get_id();
  WorkerThread::Run();
  if (orphaned_) delete this;  // the thread is detached by the destructor and touches nothing after this
}

std::optional<std::int32_t> TimeOutWatcher::Allocate(std::int32_t timeOut) {
  std::lock_guard<std::mutex> guard(lock_);
  return table_.Allocate(timeOut);
}

void TimeOutWatcher::Release(std::int32_t channel) {
  std::lock_guard<std::mutex> guard(lock_);
  table_.Release(channel);
  changed_.notify_all();
}

bool TimeOutWatcher::IsAllocated(std::int32_t channel) const {
  std::lock_guard<std::mutex> guard(lock_);
  return table_.IsAllocated(channel);
}

ChannelTable::Ticket TimeOutWatcher::Arm(std::int32_t channel) {
  std::lock_guard<std::mutex> guard(lock_);
  const ChannelTable::Ticket ticket = table_.Arm(channel, TickCount());
  if (ticket) changed_.notify_all();  // an older request on this channel is superseded
  return ticket;
}

std::optional<std::vector<std::uint8_t>> TimeOutWatcher::Gather(std::int32_t channel,
                                                                std::span<const std::uint8_t> bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  auto frame = table_.Gather(channel, bytes);
  if (frame) changed_.notify_all();
  return frame;
}

TimeOutWatcher::AnswerWait TimeOutWatcher::AwaitAnswer(std::int32_t channel, ChannelTable::Ticket request,
                                                       std::chrono::milliseconds limit,
                                                       std::vector<std::uint8_t>* answer) {
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait_for(guard, limit,
                    [&] { return closed_ || table_.Outcome(channel, request) != RequestOutcome::Pending; });
  if (closed_) return AnswerWait::Closed;
  auto frame = table_.EndRequest(channel, request);
  if (!frame) return AnswerWait::NoAnswer;
  *answer = std::move(*frame);
  return AnswerWait::Answered;
}

ChannelState TimeOutWatcher::State(std::int32_t channel) const {
  std::lock_guard<std::mutex> guard(lock_);
  return table_.State(channel);
}

bool TimeOutWatcher::Shutdown() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
    changed_.notify_all();
  }
  Stop();
  return !OnWatcherThread();
}

bool TimeOutWatcher::Execute() {
  bool timedOut;
  {
    std::lock_guard<std::mutex> guard(lock_);
    timedOut = table_.SweepTimeOuts(TickCount());
    if (timedOut) changed_.notify_all();
  }
  if (StopRequested()) return false;
  if (timedOut && report_) report_();
  WaitForStop(kPassPeriod);
  return true;
}
