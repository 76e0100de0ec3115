#pragma once

#include <chrono>

namespace boardsim {
// Every time in the simulator is a point on the monotonic clock.
using Clock = std::chrono::steady_clock;
}  // namespace boardsim
