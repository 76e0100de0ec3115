#pragma once

#include "boardsim/CandumpLog.h"
#include "boardsim/TrafficSource.h"

#include <vector>

namespace boardsim {

// Replays a candump log in real time: each frame comes at its timestamp's
// distance from the first one. With `loop`, the log starts over after one
// mean frame interval (one second for a single-frame log). Frames that the
// cell cannot receive (CAN FD, error frames) are skipped.
class CandumpReplay : public TrafficSource {
 public:
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
