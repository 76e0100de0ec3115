#pragma once

#include "boardsim/CanFrame.h"
#include "boardsim/Clock.h"

#include <optional>
#include <vector>

namespace boardsim {

// Where the frames on the simulated bus come from. The simulator thread asks
// when the next frame is due, sleeps until then, and takes what is due.
// Implementations are used by that one thread only.
class TrafficSource {
 public:
  virtual ~TrafficSource() = default;
  // The simulation begins; due times count from t0.
  virtual void start(Clock::time_point t0) = 0;
  // When the next frame is due; nothing when the source is exhausted.
  virtual std::optional<Clock::time_point> nextDue() const = 0;
  // The frames due at `now`, oldest first.
  virtual std::vector<CanFrame> takeDue(Clock::time_point now) = 0;
};

}  // namespace boardsim
