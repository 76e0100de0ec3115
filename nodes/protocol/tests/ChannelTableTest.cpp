// The channel table's bookkeeping, with the tick count in the test's hands.
#include <gtest/gtest.h>

#include "ChannelTable.h"

using Bytes = std::vector<std::uint8_t>;

TEST(ChannelTable, TimeOutsPassStrictlyAfterTheirTimeAcrossTickWrapAndNeverWhenNegative) {
  ChannelTable table(3);
  ASSERT_EQ(table.Allocate(100), 0);
  ASSERT_EQ(table.Allocate(0), 1);
  ASSERT_EQ(table.Allocate(-1), 2);
  EXPECT_EQ(table.Allocate(5), std::nullopt);
  const std::uint32_t start = 0xFFFFFFF0u;  // the tick count wraps during the wait
  for (std::int32_t c = 0; c < 3; ++c) ASSERT_NE(table.Arm(c, start), 0u);
  EXPECT_FALSE(table.SweepTimeOuts(start));
  EXPECT_TRUE(table.SweepTimeOuts(start + 1));  // TimeOut 0: one millisecond later
  EXPECT_EQ(table.State(1), ChannelState::TimedOut);
  EXPECT_FALSE(table.SweepTimeOuts(start + 100));
  EXPECT_TRUE(table.SweepTimeOuts(start + 101));
  EXPECT_EQ(table.State(0), ChannelState::TimedOut);
  EXPECT_FALSE(table.SweepTimeOuts(start + 0x7FFFFFFFu));
  EXPECT_EQ(table.State(2), ChannelState::Waiting);
  EXPECT_EQ(table.Gather(0, Bytes{0x00}), std::nullopt);  // a timed-out channel drops what comes
}

TEST(ChannelTable, AnAnswerEndsItsOwnRequestOnlyAndOverflowKeepsWaiting) {
  ChannelTable table(1);
  ASSERT_EQ(table.Allocate(1000), 0);
  const auto first = table.Arm(0, 0);
  EXPECT_EQ(table.Gather(0, Bytes(10, 0x0F)), std::nullopt);
  EXPECT_EQ(table.Gather(0, Bytes(7, 0x0F)), std::nullopt);  // 17 bytes: dropped
  EXPECT_EQ(table.Outcome(0, first), RequestOutcome::Pending);
  EXPECT_EQ(table.Gather(0, Bytes{0x01}), std::nullopt);
  EXPECT_EQ(table.Gather(0, Bytes{0x42}), (Bytes{0x01, 0x42}));
  EXPECT_EQ(table.State(0), ChannelState::Idle);
  EXPECT_FALSE(table.SweepTimeOuts(5000));  // answered: no longer watched
  EXPECT_EQ(table.Outcome(0, first), RequestOutcome::Answered);

  const auto second = table.Arm(0, 0);
  EXPECT_EQ(table.Outcome(0, first), RequestOutcome::Superseded);
  EXPECT_EQ(table.EndRequest(0, first), std::nullopt);  // leaves the newer request alone
  EXPECT_EQ(table.Outcome(0, second), RequestOutcome::Pending);
  table.Release(0);
  EXPECT_EQ(table.Outcome(0, second), RequestOutcome::Superseded);
  EXPECT_EQ(table.Arm(0, 0), 0u);
  table.Release(7);
}
