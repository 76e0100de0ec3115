// When the Transmission window's automatic repetition sends its next frame:
// the window's timer ticks every `interval` milliseconds, and a frame goes
// out once the ticks since the last frame make up `Period` seconds (with the
// 500 ms interval, every 2 x Period ticks).
#pragma once

#include <cstdint>

class TPeriodTicks {
 public:
  // A frame has just been sent (or the run has stopped): counting starts again.
  void Reset() { count_ = 0; }
  // Counts one tick. True when the next frame is due; the count is then back
  // to 0. An interval that does not divide the period lets the frame go at the
  // first tick past it, so the count never grows without end.
  bool Tick(int periodSeconds, int intervalMs);
  std::int32_t Count() const { return count_; }

 private:
  std::int32_t count_ = 0;  // ticks since the last frame
};
