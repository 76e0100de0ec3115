// Taking the frames the CAN cell has received, for the Trace window's timer.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "CanRegisterMap.h"
#include "TraceLine.h"

class TRegisterSession;

// A frame taken off the cell: its trace line, and whether it was a remote
// frame (IDLR bit 4), which the line's cells do not show.
struct TReceivedFrame {
  TTraceLine line;
  bool remote = false;
};

// Lists each received frame once, whole, and in the order the frames arrived.
//
// The cell puts a frame into its lowest free receive buffer and sets that
// buffer's RXIF flag; the buffer stays as it is until the flag is cleared.
// Only this class clears receive flags while tracing, so between two of its
// reads the flags only appear: the flags a read finds newly set belong to
// frames that arrived after those it already knew, in the order of their
// buffer numbers. The receiver keeps the buffers in that order and takes the
// oldest; on a first read (or ISR = 0xE0) that is buffer 1, then 2, then 3.
// Taking buffers by number alone would let buffer 1, refilled at every tick,
// keep the frames in buffers 2 and 3 waiting for as long as traffic lasts.
//
// Threads: GUI thread only, like the Trace window that owns it.
class TTraceReceiver {
 public:
  // Whether the main image shows a set RXIF flag: only then is the cell read
  // (TakeFrame); otherwise a tick reads and writes nothing.
  static bool FramesWaiting(const std::array<std::uint8_t, CanReg::MainCount>& mainImage);

  // Takes at most one received frame off the cell, in a register session
  // that the caller opened (and closes, on every path):
  // 1. Every page is read (ReadAll). The oldest buffer with its flag set is
  //    taken, and its line is made from the page just read: the buffer is
  //    read before it is freed. (Freed first, it could take the next frame
  //    before being read: that frame would be listed twice and the one it
  //    replaced never.)
  // 2. One polling pass reads ISR once more, and ISR is written back with the
  //    buffer's flag 0 and the other bits as this last read found them: that
  //    clears the flag and frees the buffer on the target. Reading ISR just
  //    before the write keeps short the time in which a flag that the cell
  //    sets meanwhile would be written back as 0.
  // A failed read or ISR write throws (TRegisterSession) and takes no line;
  // a flag still set is handled at the next call.
  std::optional<TReceivedFrame> TakeFrame(TRegisterSession& session);

  // Buffers known to hold a frame, oldest first.
  const std::deque<int>& Pending() const { return pending_; }

 private:
  // Brings the queue up to date with an ISR value just read.
  void Observe(std::uint8_t isr);

  std::deque<int> pending_;
};
