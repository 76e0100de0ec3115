#include "boardsim/CandumpReplay.h"
#include "boardsim/TrafficGenerator.h"

#include <gtest/gtest.h>

using namespace boardsim;
using namespace std::chrono_literals;

TEST(TrafficGenerator, FramesComeAtTheRateWithIdentifiersInTurn) {
  TrafficGenerator gen({{0x100, 0x200}, 10.0, 3});
  auto t0 = Clock::now();
  gen.start(t0);
  EXPECT_EQ(*gen.nextDue(), t0);
  auto frames = gen.takeDue(t0 + 250ms);  // numbers 0, 1, 2
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].id, 0x100u);
  EXPECT_EQ(frames[1].id, 0x200u);
  EXPECT_EQ(frames[2].id, 0x100u);
  EXPECT_EQ(frames[2].dlc, 3);
  EXPECT_EQ(frames[2].data[0], 2);
  EXPECT_EQ(*gen.nextDue(), t0 + 300ms);
  EXPECT_TRUE(gen.takeDue(t0 + 299ms).empty());
  // A long stall does not flood the bus.
  EXPECT_LE(gen.takeDue(t0 + 1h).size(), 64u);
}

TEST(TrafficGenerator, RejectsSettingsItCannotHonour) {
  EXPECT_THROW(TrafficGenerator({{}, 1.0, 8}), std::invalid_argument);
  EXPECT_THROW(TrafficGenerator({{0x800}, 1.0, 8}), std::invalid_argument);
  EXPECT_THROW(TrafficGenerator({{0x1}, 0.0, 8}), std::invalid_argument);
  EXPECT_THROW(TrafficGenerator({{0x1}, 1.0, 9}), std::invalid_argument);
}

namespace {
std::vector<candump::Record> records(std::initializer_list<const char*> lines) {
  std::vector<candump::Record> out;
  for (const char* l : lines) out.push_back(candump::parseLine(l));
  return out;
}
}  // namespace

TEST(CandumpReplay, KeepsTheLogsTimingAndSkipsWhatTheCellCannotReceive) {
  CandumpReplay replay(records({"(100.000000) can0 101#01", "(100.250000) can0 102##0AA", "(100.500000) can0 103#03",
                                "(101.000000) can0 104#04"}),
                       false);
  EXPECT_EQ(replay.frameCount(), 3u);
  auto t0 = Clock::now();
  replay.start(t0);
  EXPECT_EQ(replay.takeDue(t0).size(), 1u);
  EXPECT_EQ(*replay.nextDue(), t0 + 500ms);
  auto frames = replay.takeDue(t0 + 1s);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].id, 0x104u);
  EXPECT_FALSE(replay.nextDue());
}

TEST(CandumpReplay, LoopsAfterOneMeanInterval) {
  CandumpReplay replay(records({"(5.0) can0 101#01", "(5.2) can0 102#02"}), true);
  auto t0 = Clock::now();
  replay.start(t0);
  EXPECT_EQ(replay.takeDue(t0 + 200ms).size(), 2u);
  EXPECT_EQ(*replay.nextDue(), t0 + 400ms);
  auto frames = replay.takeDue(t0 + 600ms);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].id, 0x101u);

  CandumpReplay empty({}, true);
  empty.start(t0);
  EXPECT_FALSE(empty.nextDue());
}

// Time points are nanoseconds on a 64-bit clock: a log spanning more than a
// quarter of that (73 years) is refused rather than wrapped around.
TEST(CandumpReplay, ALogLongerThanTheClockHoldsIsRefused) {
  EXPECT_THROW(CandumpReplay(records({"(0.0) can0 101#01", "(9467280000.0) can0 102#02"}), true),  // 300 years
               std::invalid_argument);
  CandumpReplay longest(records({"(0.0) can0 101#01", "(2000000000.0) can0 102#02"}), true);  // 63 years
  const auto t0 = Clock::now();
  longest.start(t0);
  EXPECT_EQ(longest.takeDue(t0).size(), 1u);
  EXPECT_EQ(*longest.nextDue() - t0, std::chrono::seconds(2000000000));
}
