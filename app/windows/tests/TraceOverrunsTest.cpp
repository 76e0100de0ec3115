// Overruns counted from the ISR values the trace reads.
#include <gtest/gtest.h>

#include "CanRegisterMap.h"
#include "TraceOverruns.h"

using namespace CanReg;

TEST(TraceOverruns, EachRaisingOfTheFlagCountsOnce) {
  TTraceOverruns overruns;
  overruns.Observe(RXIF1);
  EXPECT_EQ(overruns.Count(), 0u);
  overruns.Observe(ORIF | RXIF1 | RXIF2 | RXIF3);
  overruns.Observe(ORIF | RXIF2);  // still the same raising
  EXPECT_EQ(overruns.Count(), 1u);
  overruns.Observe(0);  // cleared elsewhere (a transmission, the Registers window)
  overruns.Observe(ORIF);
  EXPECT_EQ(overruns.Count(), 2u);

  // Clear: back to 0; the flag still up is not counted again, a new raising is.
  overruns.Reset();
  overruns.Observe(ORIF);
  EXPECT_EQ(overruns.Count(), 0u);
  overruns.Observe(TXIF);
  overruns.Observe(ORIF | TXIF);
  EXPECT_EQ(overruns.Count(), 1u);
}
