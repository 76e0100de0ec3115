// The order in which the CAN cell's receive buffers were filled.
//
// The cell puts a frame into its lowest free receive buffer and sets that
// buffer's RXIF flag; the buffer stays as it is until the flag is cleared.
// Between two looks at ISR the flags of a receiving program only appear, so
// the flags a look finds newly set belong to frames that arrived after those
// already known, in the order of their buffer numbers. Taking buffers by number
// alone would let buffer 1, refilled at every pass, keep the frames in
// buffers 2 and 3 waiting for as long as traffic lasts.
//
// Threads: the register access thread only.
#pragma once

#include <cstdint>
#include <deque>

class TReceptionOrder {
 public:
  // Brings the order up to date with an ISR value just read: a flag that is
  // no longer set (cleared by someone else) takes its buffer out.
  void Observe(std::uint8_t isr);
  // The buffer's frame has been taken and its flag cleared.
  void Taken(int buffer);
  // Forgets every buffer (reception switched off: the flags may be cleared
  // by others meanwhile).
  void Clear() { pending_.clear(); }
  // Buffers known to hold a frame, oldest first.
  const std::deque<int>& Pending() const { return pending_; }

 private:
  std::deque<int> pending_;
};
