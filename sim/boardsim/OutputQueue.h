#pragma once

#include "boardsim/Clock.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace boardsim {

// Bytes waiting to go out on the line, each with the moment it has fully
// arrived at the far end. A byte is written to the pty when that moment has
// come, so the reader sees the answer grow at the pace of the real line.
// A marker can ride on the last byte of a chunk to learn when it went out.
// Not thread-safe; used by the simulator thread only.
class OutputQueue {
 public:
  // Queues bytes behind what is already waiting. The first byte starts on the
  // line no earlier than `notBefore` + `silence`; each byte takes `characterTime`.
  void append(const std::vector<uint8_t>& bytes, Clock::time_point notBefore, Clock::duration characterTime,
              Clock::duration silence = {}, uint64_t marker = 0);

  std::optional<Clock::time_point> nextDue() const;
  // How many bytes from the front are due at `now`, and a copy of them.
  std::vector<uint8_t> due(Clock::time_point now) const;
  // Takes n bytes off the front (they were written); returns the markers they carried.
  std::vector<uint64_t> consume(std::size_t n);
  bool empty() const { return bytes_.empty(); }
  void clear() { bytes_.clear(); }

 private:
  struct Byte {
    uint8_t value;
    Clock::time_point due;
    uint64_t marker;
  };
  std::deque<Byte> bytes_;
  Clock::time_point lineFree_{};  // when the last queued byte has left the line
};

}  // namespace boardsim
