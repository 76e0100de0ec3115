#pragma once

#include "boardsim/TrafficSource.h"

#include <cstdint>
#include <vector>

namespace boardsim {

// A steady stream of standard data frames: identifiers taken in turn from a
// list, `rate` frames per second, the first at once. The data bytes are the
// frame's running number, least significant byte first, so successive frames
// differ and lost ones show.
class TrafficGenerator : public TrafficSource {
 public:
  struct Settings {
    std::vector<uint16_t> ids{0x123, 0x245, 0x3A0, 0x7F0};
    double rate = 1.0;  // frames per second, > 0
    uint8_t dlc = 8;    // 0..8
  };

  explicit TrafficGenerator(Settings settings);

  void start(Clock::time_point t0) override;
  std::optional<Clock::time_point> nextDue() const override;
  std::vector<CanFrame> takeDue(Clock::time_point now) override;

  CanFrame frame(uint64_t number) const;

 private:
  Settings settings_;
  Clock::duration period_;
  Clock::time_point t0_{};
  uint64_t next_ = 0;
};

}  // namespace boardsim
