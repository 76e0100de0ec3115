// Overruns counted from the reports of the polling passes.
#include <gtest/gtest.h>

#include <limits>

#include "TraceOverruns.h"

TEST(TraceOverruns, EveryReportCountsAndClearStartsAtOneWhileFramesAreLost) {
  TTraceOverruns overruns;
  overruns.Observe(0, false);
  EXPECT_EQ(overruns.Count(), 0u);
  overruns.Observe(2, true);  // two passes found ORIF set
  overruns.Observe(1, true);
  EXPECT_EQ(overruns.Count(), 3u);
  overruns.Reset();  // the cell is still losing frames
  EXPECT_EQ(overruns.Count(), 1u);
  overruns.Observe(0, false);
  overruns.Reset();
  EXPECT_EQ(overruns.Count(), 0u);
  overruns.Observe(std::numeric_limits<std::uint32_t>::max(), true);
  overruns.Observe(5, true);
  EXPECT_EQ(overruns.Count(), std::numeric_limits<std::uint32_t>::max());
}
