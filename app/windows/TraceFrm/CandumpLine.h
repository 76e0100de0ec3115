// Trace lines as lines of a candump log, the text format that can-utils
// (log2asc, canplayer) and other CAN tools read:
//
//   (1700000000.123456) vorelan0 123#12AB          data frame, 2 bytes
//   (1700000000.623456) vorelan0 7FF#R3            remote frame, length code 3
//   (1700000001.123456) vorelan0 010#              data frame without data
//   (1700000001.623456) vorelan0 100#0102030405060708_C   length code 12
//
// The time is when the line was listed, in seconds and microseconds since
// 1970; the identifier has 3 upper-case hexadecimal digits, the data one
// hexadecimal pair per byte. A length code above 8 (the cell may report one;
// the frame carries 8 bytes) follows the 8 bytes after "_", and a remote
// frame's code follows "R" (none for 0).
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "TraceLine.h"
#include "TraceListing.h"

namespace Candump {

// The interface name the lines carry: a log player maps it to a bus of its own.
inline constexpr char Interface[] = "vorelan0";

struct Frame {
  std::uint16_t id = 0;  // 0 to 0x7FF
  bool remote = false;
  int dlc = 0;  // length code, 0 to 15
  std::array<std::uint8_t, 8> data{};
  int dataCount = 0;  // data bytes: min(dlc, 8) for a data frame, 0 for a remote one

  friend bool operator==(const Frame&, const Frame&) = default;
};

// The frame a trace line shows, or nothing when its cells do not make one:
// "ID" 1 to 3 hexadecimal digits up to 7FF, "DLC" a decimal number from 0 to
// 15, and "Data" hexadecimal pairs separated by blanks, as many as the length
// code covers (at most 8). Received lines always make one; a line of a hand-
// edited or damaged trace file ("?" cells) may not. A remote frame's data
// cell is not looked at: the frame carries none.
std::optional<Frame> FrameOf(const TTraceLine& line, bool remote);

// Appends one log line, with its line feed. A time before 1970 is written as 0.
void AppendLine(std::string& out, std::chrono::system_clock::time_point listed, const Frame& frame);

}  // namespace Candump
