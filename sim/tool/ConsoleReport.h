#pragma once

#include "boardsim/BoardSimulator.h"

#include <string>

namespace boardsim::tool {

// One line of text for a frame on the simulated bus, e.g.
//   "rx 123 [2] 11 22 -> buffer 1 (filter 0)"
//   "tx 245 [1] 7F from buffer 2: not acknowledged"
std::string describe(const BoardSimulator::BusEvent& event);

}  // namespace boardsim::tool
