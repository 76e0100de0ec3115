#pragma once

#include "boardsim/CandumpLog.h"
#include "boardsim/TrafficSource.h"

#include <chrono>
#include <vector>

namespace boardsim {

// Replays a candump log in real time: each frame comes at its timestamp's
// distance from the first one. With `loop`, the log starts over after one
// mean frame interval (one second for a single-frame log). Frames that the
// cell cannot receive (CAN FD, error frames) are skipped.
class CandumpReplay : public TrafficSource {
 public:
  // The longest log the replay takes: a quarter of what the clock holds
  // (about 73 years), so that the time points of a cycle and of the next
  // stay within the clock.
  static constexpr std::chrono::microseconds kMaxSpan =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::duration::max() / 4);

  // Throws std::invalid_argument for a log that spans more than kMaxSpan.
  CandumpReplay(std::vector<candump::Record> records, bool loop);

  void start(Clock::time_point t0) override;
  std::optional<Clock::time_point> nextDue() const override;
  std::vector<CanFrame> takeDue(Clock::time_point now) override;

  std::size_t frameCount() const { return frames_.size(); }

 private:
  struct Timed {
    Clock::duration offset;
    CanFrame frame;
  };
  std::vector<Timed> frames_;
  bool loop_;
  Clock::duration cycle_{};
  Clock::time_point cycleStart_{};
  std::size_t next_ = 0;
};

}  // namespace boardsim
