#include "PeriodTicks.h"

bool TPeriodTicks::Tick(int periodSeconds, int intervalMs) {
  ++count_;
  // In 64 bits: no product of a tick count and an interval can overflow.
  if (std::int64_t{intervalMs} * count_ < std::int64_t{periodSeconds} * 1000) return false;
  count_ = 0;
  return true;
}
