#include "TraceOverruns.h"

#include <limits>

#include "CanRegisterMap.h"

void TTraceOverruns::Observe(std::uint8_t isr) {
  const bool set = (isr & CanReg::ORIF) != 0;
  if (set && !flagSeen_ && count_ < std::numeric_limits<std::uint32_t>::max()) ++count_;
  flagSeen_ = set;
}
