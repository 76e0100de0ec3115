// How many overruns the CAN cell has reported while the trace was running.
//
// The cell sets ORIF when a frame arrives with all three receive buffers
// full: that frame is lost. The flag stays set until someone writes it 0 (a
// transmission clears every flag, the Registers window clears single bits);
// the trace itself leaves it as it is. So an overrun is counted when the
// flag is seen set after it was last seen clear: one count stands for one or
// more frames lost while the flag was up.
//
// Threads: GUI thread only, like the Trace window that owns it.
#pragma once

#include <cstdint>

class TTraceOverruns {
 public:
  // An ISR value the trace has just read.
  void Observe(std::uint8_t isr);
  // The trace was cleared: counting starts again at 0. A flag still set
  // stands for an overrun already counted and is not counted again.
  void Reset() { count_ = 0; }
  std::uint32_t Count() const { return count_; }

 private:
  bool flagSeen_ = false;  // ORIF was set in the last value observed
  std::uint32_t count_ = 0;
};
