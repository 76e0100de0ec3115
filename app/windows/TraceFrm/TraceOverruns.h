// How many overruns the CAN cell has reported while the trace was running.
//
// The cell sets ORIF when a frame arrives with all three receive buffers
// full: that frame is lost. While the trace receives, every polling pass
// that finds ORIF set counts one report and clears the flag, so a cell that
// keeps losing frames keeps counting.
//
// Threads: GUI thread only, like the Trace window that owns it.
#pragma once

#include <cstdint>

class TTraceOverruns {
 public:
  // `reports` passes found ORIF set; `setNow`: the last of them did.
  void Observe(std::uint32_t reports, bool setNow);
  // The trace was cleared: counting starts again, at 1 when the cell is
  // losing frames at this moment.
  void Reset() { count_ = setNow_ ? 1 : 0; }
  std::uint32_t Count() const { return count_; }

 private:
  bool setNow_ = false;
  std::uint32_t count_ = 0;
};
