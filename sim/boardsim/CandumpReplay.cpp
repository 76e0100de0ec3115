#include "boardsim/CandumpReplay.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace boardsim {

CandumpReplay::CandumpReplay(std::vector<candump::Record> records, bool loop) : loop_(loop) {
  std::erase_if(records, [](const candump::Record& r) { return !r.replayable; });
  if (records.empty()) return;
  // Logs are written in time order; a step backwards (e.g. two logs pasted
  // together) is replayed at once rather than waited for.
  auto first = records.front().timestamp;
  std::chrono::microseconds last = first;
  for (const auto& r : records) last = std::max(last, r.timestamp);
  if (last - first > kMaxSpan) {
    using Years = std::chrono::duration<long long, std::ratio<31556952>>;
    throw std::invalid_argument("the log spans " + std::to_string(std::chrono::floor<Years>(last - first).count()) +
                                " years, more than the replay's clock holds (" +
                                std::to_string(std::chrono::floor<Years>(kMaxSpan).count()) + " years)");
  }
  last = first;
  for (const auto& r : records) {
    last = std::max(last, r.timestamp);
    frames_.push_back({std::chrono::duration_cast<Clock::duration>(last - first), r.frame});
  }
  Clock::duration span = frames_.back().offset;
  Clock::duration gap = frames_.size() > 1 ? span / int64_t(frames_.size() - 1) : std::chrono::seconds(1);
  if (gap <= Clock::duration::zero()) gap = std::chrono::milliseconds(1);
  cycle_ = span + gap;
}

void CandumpReplay::start(Clock::time_point t0) {
  cycleStart_ = t0;
  next_ = 0;
}

std::optional<Clock::time_point> CandumpReplay::nextDue() const {
  if (next_ >= frames_.size()) return std::nullopt;
  return cycleStart_ + frames_[next_].offset;
}

std::vector<CanFrame> CandumpReplay::takeDue(Clock::time_point now) {
  std::vector<CanFrame> out;
  while (next_ < frames_.size() && cycleStart_ + frames_[next_].offset <= now) {
    out.push_back(frames_[next_++].frame);
    if (next_ == frames_.size() && loop_) {
      next_ = 0;
      cycleStart_ += cycle_;
      if (out.size() > 4 * frames_.size() + 64) break;  // never loop without end on a stalled clock
    }
  }
  return out;
}

}  // namespace boardsim
