#pragma once

#include "boardsim/Clock.h"

#include <termios.h>
#include <optional>

namespace boardsim {

// The time a byte takes on an asynchronous serial line: start bit, 8 data
// bits, stop bit, i.e. 10 bit times.
constexpr int kBitsPerCharacter = 10;

// Bits per second of a termios speed code, or nothing for B0 / unknown codes.
std::optional<unsigned> bitsPerSecond(speed_t speed);

inline Clock::duration characterTime(unsigned bitsPerSecond) {
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(double(kBitsPerCharacter) / bitsPerSecond));
}

}  // namespace boardsim
