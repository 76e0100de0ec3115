#include "boardsim/FaultInjector.h"
#include "boardsim/FaultSchedule.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace boardsim;
using namespace std::chrono_literals;

namespace {

FaultSchedule::Settings settings(uint64_t seed, FaultKinds kinds = allFaultKinds()) {
  FaultSchedule::Settings s;
  s.seed = seed;
  s.meanInterval = 40ms;
  s.kinds = kinds;
  s.shortestOutage = 100ms;
  s.longestOutage = 200ms;
  return s;
}

FaultKinds kindsOf(std::initializer_list<FaultKind> list) {
  FaultKinds kinds;
  for (FaultKind k : list) kinds.set(std::size_t(k));
  return kinds;
}

bool same(const ScheduledFault& a, const ScheduledFault& b) {
  return a.kind == b.kind && a.after == b.after && a.bytes == b.bytes && a.pieceSize == b.pieceSize &&
         a.pieceDelay == b.pieceDelay && a.lasting == b.lasting;
}

}  // namespace

TEST(FaultSchedule, ASeedDecidesEveryFault) {
  FaultSchedule a(settings(7)), b(settings(7)), other(settings(8));
  int differing = 0;
  for (int i = 0; i < 300; ++i) {
    auto fa = a.next(), fb = b.next(), fo = other.next();
    ASSERT_TRUE(fa && fb && fo);
    ASSERT_TRUE(same(*fa, *fb)) << i;
    if (!same(*fa, *fo)) ++differing;
  }
  EXPECT_GT(differing, 250);
}

TEST(FaultSchedule, DecisionsStayInTheirBounds) {
  const FaultKinds chosen = kindsOf({FaultKind::Extra, FaultKind::Split, FaultKind::Noise, FaultKind::Vanish});
  FaultSchedule schedule(settings(11, chosen));
  Clock::duration sum{};
  const int draws = 2000;
  for (int i = 0; i < draws; ++i) {
    auto f = *schedule.next();
    ASSERT_TRUE(chosen.test(std::size_t(f.kind))) << faultKindName(f.kind);
    ASSERT_GE(f.after, 20ms);
    ASSERT_LE(f.after, 60ms);
    sum += f.after;
    switch (f.kind) {
      case FaultKind::Extra:
        ASSERT_GE(f.bytes.size(), 1u);
        ASSERT_LE(f.bytes.size(), 4u);
        break;
      case FaultKind::Noise:
        ASSERT_GE(f.bytes.size(), 1u);
        ASSERT_LE(f.bytes.size(), 16u);
        break;
      case FaultKind::Split:
        ASSERT_GE(f.pieceSize, 1u);
        ASSERT_LE(f.pieceSize, 3u);
        ASSERT_GE(f.pieceDelay, 5ms);
        ASSERT_LE(f.pieceDelay, 30ms);
        break;
      case FaultKind::Vanish:
        ASSERT_GE(f.lasting, 100ms);
        ASSERT_LE(f.lasting, 200ms);
        break;
      default:
        FAIL();
    }
  }
  // The intervals are spread around the mean, not bunched at one end.
  auto mean = sum / draws;
  EXPECT_GT(mean, 38ms);
  EXPECT_LT(mean, 42ms);
}

TEST(FaultSchedule, EveryKindComesUpForEverySeed) {
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    FaultSchedule schedule(settings(seed));
    FaultKinds seen;
    for (int i = 0; i < 200; ++i) seen.set(std::size_t(schedule.next()->kind));
    EXPECT_TRUE(seen.all()) << "seed " << seed << ": " << seen;
  }
}

TEST(FaultSchedule, LimitAndBadSettings) {
  auto limited = settings(3);
  limited.limit = 5;
  FaultSchedule schedule(limited);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(schedule.next()) << i;
  EXPECT_FALSE(schedule.next());

  auto none = settings(1, FaultKinds());
  EXPECT_THROW(FaultSchedule{none}, std::invalid_argument);
  auto fast = settings(1);
  fast.meanInterval = 500us;
  EXPECT_THROW(FaultSchedule{fast}, std::invalid_argument);
  auto reversed = settings(1);
  reversed.longestOutage = 50ms;
  EXPECT_THROW(FaultSchedule{reversed}, std::invalid_argument);
}

TEST(FaultSchedule, ReportLineNamesEveryKindInOrder) {
  FaultInjector::Counts counts;
  counts.byKind = {1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(FaultInjector::reportLine(18446744073709551615ull, counts),
            "chaos: seed=18446744073709551615 drop=1 corrupt=2 extra=3 split=4 noise=5 vanish=6 noack=7 total=28");
  for (std::size_t k = 0; k < kFaultKindCount; ++k)
    EXPECT_EQ(faultKindNamed(faultKindName(FaultKind(k))), FaultKind(k));
  EXPECT_FALSE(faultKindNamed("all"));
}
