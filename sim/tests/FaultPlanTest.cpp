#include "boardsim/FaultPlan.h"
#include "boardsim/OutputQueue.h"

#include <gtest/gtest.h>

using namespace boardsim;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {
Bytes joined(const FaultPlan::Shaped& s) {
  Bytes out;
  for (const auto& p : s.pieces) out.insert(out.end(), p.bytes.begin(), p.bytes.end());
  return out;
}
}  // namespace

TEST(FaultPlan, WithoutFaultsTheAnswerGoesOutWhole) {
  FaultPlan plan;
  auto s = plan.shape({0x02, 0xAA, 0xBB});
  EXPECT_FALSE(s.dropped);
  ASSERT_EQ(s.pieces.size(), 1u);
  EXPECT_EQ(s.pieces[0].bytes, (Bytes{0x02, 0xAA, 0xBB}));
  EXPECT_TRUE(s.note.empty());
}

TEST(FaultPlan, EachFaultActsOnTheGivenNumberOfAnswers) {
  FaultPlan plan;
  plan.dropAnswers(2);
  EXPECT_TRUE(plan.shape({0x00}).dropped);
  EXPECT_TRUE(plan.shape({0x00}).dropped);
  EXPECT_FALSE(plan.shape({0x00}).dropped);

  plan.corruptAnswers(1);
  EXPECT_EQ(joined(plan.shape({0x06, 1, 2, 3, 4, 5, 6})), (Bytes{0x16, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(joined(plan.shape({0x00})), Bytes{0x00});

  plan.addExtraBytes({0x55, 0xAA}, 2);
  EXPECT_EQ(joined(plan.shape({0x00})), (Bytes{0x00, 0x55, 0xAA}));
  EXPECT_EQ(joined(plan.shape({0x00})), (Bytes{0x00, 0x55, 0xAA}));
  EXPECT_EQ(joined(plan.shape({0x00})), Bytes{0x00});
  EXPECT_FALSE(plan.armed());
}

TEST(FaultPlan, SplitCutsTheAnswerIntoDelayedPieces) {
  FaultPlan plan;
  plan.splitAnswers(3, 20ms, 1);
  auto s = plan.shape({0x06, 1, 2, 3, 4, 5, 6});
  ASSERT_EQ(s.pieces.size(), 3u);
  EXPECT_EQ(s.pieces[0].bytes, (Bytes{0x06, 1, 2}));
  EXPECT_EQ(s.pieces[0].delayBefore, Clock::duration::zero());
  EXPECT_EQ(s.pieces[2].bytes, (Bytes{6}));
  EXPECT_EQ(s.pieces[2].delayBefore, Clock::duration(20ms));
  EXPECT_EQ(plan.shape({0x06, 1, 2, 3, 4, 5, 6}).pieces.size(), 1u);
}

TEST(FaultPlan, FaultsCombineOnOneAnswer) {
  FaultPlan plan;
  plan.corruptAnswers(1);
  plan.addExtraBytes({0xEE});
  plan.splitAnswers(1, 5ms);
  auto s = plan.shape({0x01, 0x42});
  EXPECT_EQ(joined(s), (Bytes{0x11, 0x42, 0xEE}));
  EXPECT_EQ(s.pieces.size(), 3u);
  EXPECT_NE(s.note.find("corrupted"), std::string::npos);
  plan.dropAnswers(1);
  plan.corruptAnswers(1);
  EXPECT_TRUE(plan.shape({0x00}).dropped);  // a dropped answer uses up only the drop
  EXPECT_EQ(joined(plan.shape({0x00})), Bytes{0x10});
}

TEST(OutputQueue, BytesFollowEachOtherAtTheCharacterTime) {
  OutputQueue q;
  auto t = Clock::now();
  q.append({1, 2, 3}, t, 1ms, {}, 7);
  q.append({4}, t, 1ms, 10ms, 8);  // behind the first answer, after 10 ms of silence
  EXPECT_EQ(*q.nextDue(), t + 1ms);
  EXPECT_TRUE(q.due(t).empty());
  EXPECT_EQ(q.due(t + 2ms), (Bytes{1, 2}));
  EXPECT_TRUE(q.consume(2).empty());
  EXPECT_EQ(q.due(t + 3ms), Bytes{3});
  EXPECT_EQ(q.consume(1), std::vector<uint64_t>{7});
  EXPECT_EQ(*q.nextDue(), t + 14ms);
  EXPECT_EQ(q.consume(1), std::vector<uint64_t>{8});
  EXPECT_TRUE(q.empty());
}
