#include "TraceOverruns.h"

#include <limits>

void TTraceOverruns::Observe(std::uint32_t reports, bool setNow) {
  const std::uint32_t room = std::numeric_limits<std::uint32_t>::max() - count_;
  count_ += reports < room ? reports : room;
  setNow_ = setNow;
}
