#include "BitTiming.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

namespace {

using namespace BitTiming;

TEST(BitTiming, RoundingTakesHalvesToTheEvenNeighbour) {
  struct Case {
    std::int64_t num, den, rounded;
  };
  const Case cases[] = {{5, 2, 2},
                        {7, 2, 4},
                        {1, 2, 0},
                        {3, 2, 2},
                        {1, 3, 0},
                        {2, 3, 1},
                        {625, 10, 62},
                        {875, 10, 88},
                        {0, 7, 0},
                        {8000000, 775, 10323},
                        {8000001, 2, 4000000},
                        {8000003, 2, 4000002}};
  for (const Case& c : cases) EXPECT_EQ(RoundHalfEven(c.num, c.den), c.rounded) << c.num << "/" << c.den;
}

TEST(BitTiming, DerivedValuesOfTheWindow) {
  EXPECT_EQ(SamplePoint(7, 3), 73);  // 8/11
  EXPECT_EQ(SliderPosition(73, QuantaPerBit(7, 3)), 8);
  EXPECT_EQ(SamplePoint(4, 3), 62);  // 62.5, halves to even
  EXPECT_EQ(SamplePointTenths(4, 3), 625);
  EXPECT_EQ(SamplePoint(6, 1), 88);     // 87.5
  EXPECT_EQ(SliderPosition(50, 4), 2);  // the layout's slider
  EXPECT_EQ(SliderPosition(50, 3), 2);  // 1.5 -> 2
  EXPECT_EQ(SliderPosition(50, 5), 2);  // 2.5 -> 2
  EXPECT_EQ(TimeQuantumNs(8, 3), 375);
  EXPECT_EQ(TimeQuantumNs(3, 1), 333);  // the remainder is dropped, not rounded
  EXPECT_EQ(BaudRate(8, {16, 2, 1}), 125000);
  EXPECT_EQ(BaudRate(8, {31, 16, 8}), 10323);
}

TEST(BitTiming, ClockZeroHasNoRateNoQuantumAndReachesNothing) {
  EXPECT_FALSE(BaudRate(0, {1, 1, 1}));
  EXPECT_FALSE(TimeQuantumNs(0, 1));
  EXPECT_FALSE(RateReachable(0, 0));
  EXPECT_FALSE(Search(0, 0, 50));
  EXPECT_TRUE(ExactSettings(0, 125000, 75).empty());
}

TEST(BitTiming, ReachableRatesAreClockOver800ToClockOver3) {
  EXPECT_FALSE(RateReachable(8, 9999));
  EXPECT_TRUE(RateReachable(8, 10000));
  EXPECT_TRUE(RateReachable(8, 2666666));
  EXPECT_FALSE(RateReachable(8, 2666667));
  EXPECT_FALSE(RateReachable(1, 0));
  EXPECT_FALSE(Search(8, 9999, 50));
  EXPECT_FALSE(Search(8, 2666667, 50));
}

struct SearchCase {
  int clockMHz;
  std::int64_t rate;
  int sample;
  Setting found;
  std::int64_t foundRate;
  int foundSample;
};

// Worked out by walking the candidates in the search's order.
const SearchCase searchCases[] = {
    // Three exact settings at 75 %; the last one visited wins.
    {8, 125000, 75, {16, 2, 1}, 125000, 75},
    {8, 500000, 75, {4, 2, 1}, 500000, 75},
    // BRP x N = 16: BRP 1 with 11/4, BRP 2 with 5/2 and BRP 4 with 2/1 are all
    // exact at 75 %; on the way, BRP 1's 6/3 (70 %) and 10/4 (73 %) were
    // taken while the rate was still off, and 10/5 (69 %) was refused.
    {16, 1000000, 75, {4, 2, 1}, 1000000, 75},
    // Exact rate, but no exact sample point within the tolerance's reach.
    {16, 250000, 80, {4, 12, 3}, 250000, 81},
    // The sample point drifts 3 points at a time while the rate improves.
    {8, 10000, 50, {31, 16, 8}, 10323, 68},
    // The first candidate is the only one at the rate; nothing later beats it.
    {3, 1000000, 67, {1, 1, 1}, 1000000, 67},
    {1, 333333, 50, {1, 1, 1}, 333333, 67},
};

TEST(BitTiming, SearchFindsTheWorkedOutSettings) {
  for (const SearchCase& c : searchCases) {
    SCOPED_TRACE(testing::Message() << c.clockMHz << " MHz " << c.rate << " bps " << c.sample << " %");
    const auto found = Search(c.clockMHz, c.rate, c.sample);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->setting, c.found);
    EXPECT_EQ(found->rate, c.foundRate);
    EXPECT_EQ(found->samplePoint, c.foundSample);
  }
}

TEST(BitTiming, SearchAlwaysAnswersWithinTheReachableRange) {
  for (int clock = 1; clock <= 99; ++clock) {
    const std::int64_t lowest = clock * HzPerMHz / 800, highest = clock * HzPerMHz / 3;
    for (std::int64_t rate : {lowest, highest, (lowest + highest) / 2}) {
      const auto found = Search(clock, rate, 100);
      ASSERT_TRUE(found) << clock << " MHz " << rate;
      const Setting& s = found->setting;
      EXPECT_TRUE(s.brp >= 1 && s.brp <= MaxSearchPrescaler && s.bs1 >= 1 && s.bs1 <= MaxSegment1 && s.bs2 >= 1 &&
                  s.bs2 <= std::min(s.bs1, MaxSegment2));
      EXPECT_EQ(found->rate, BaudRate(clock, s));
      EXPECT_EQ(found->samplePoint, SamplePoint(s.bs1, s.bs2));
    }
  }
}

// Every setting the window can hold, counted out one by one.
std::set<std::tuple<int, int, int>> bruteExact(int clockMHz, std::int64_t rate) {
  std::set<std::tuple<int, int, int>> found;
  for (int brp = 1; brp <= 64; ++brp)
    for (int bs1 = 1; bs1 <= 16; ++bs1)
      for (int bs2 = 1; bs2 <= 8 && bs2 <= bs1; ++bs2)
        if (std::int64_t(clockMHz) * 1000000 == rate * brp * (1 + bs1 + bs2)) found.insert({brp, bs1, bs2});
  return found;
}

TEST(BitTiming, ExactSettingsAreEveryExactSettingClosestSamplePointFirst) {
  const std::int64_t rates[] = {10000, 20000, 50000, 100000, 125000, 250000, 500000, 800000, 1000000, 33333, 0};
  std::size_t nonEmpty = 0;
  for (int clock = 1; clock <= 99; ++clock) {
    for (std::int64_t rate : rates) {
      for (int sample : {50, 62, 75, 87, 100}) {
        SCOPED_TRACE(testing::Message() << clock << " MHz " << rate << " bps " << sample << " %");
        const auto table = ExactSettings(clock, rate, sample);
        std::set<std::tuple<int, int, int>> listed;
        for (const ExactSetting& e : table) {
          listed.insert({e.setting.brp, e.setting.bs1, e.setting.bs2});
          EXPECT_EQ(e.samplePoint, SamplePoint(e.setting.bs1, e.setting.bs2));
          EXPECT_EQ(e.timeQuantumNs, 1000 * e.setting.brp / clock);
        }
        ASSERT_EQ(listed.size(), table.size()) << "a setting listed twice";
        ASSERT_EQ(listed, bruteExact(clock, rate));
        nonEmpty += !table.empty();
        for (std::size_t i = 1; i < table.size(); ++i) {
          const Setting& a = table[i - 1].setting;
          const Setting& b = table[i].setting;
          const double da = std::fabs(100.0 * (a.bs1 + 1) / (1 + a.bs1 + a.bs2) - sample);
          const double db = std::fabs(100.0 * (b.bs1 + 1) / (1 + b.bs1 + b.bs2) - sample);
          if (std::fabs(da - db) > 1e-9) {
            ASSERT_LT(da, db) << "row " << i;
          } else {
            ASSERT_TRUE(a.brp < b.brp || (a.brp == b.brp && a.bs1 < b.bs1)) << "row " << i;
          }
        }
      }
    }
  }
  EXPECT_GT(nonEmpty, 1000u);  // the comparison was not all empty tables
}

TEST(BitTiming, ExactSettingsOfTheUsualCase) {
  // 8 MHz, 125000 bps, 75 %: BRP x N = 64.
  const auto table = ExactSettings(8, 125000, 75);
  ASSERT_GE(table.size(), 3u);
  EXPECT_EQ(table[0].setting, (Setting{4, 11, 4}));  // 75 % exactly, smallest BRP first
  EXPECT_EQ(table[1].setting, (Setting{8, 5, 2}));
  EXPECT_EQ(table[2].setting, (Setting{16, 2, 1}));
  EXPECT_EQ(table[0].timeQuantumNs, 500);
  // Beyond the search's BRP 31: 8 MHz, 10000 bps needs BRP x N = 800.
  const auto slow = ExactSettings(8, 10000, 75);
  ASSERT_FALSE(slow.empty());
  for (const auto& e : slow) EXPECT_GT(e.setting.brp, 31);
  EXPECT_TRUE(ExactSettings(8, 10323, 68).empty());
}

TEST(BitTiming, PackingRoundTripsEveryField) {
  for (int brp = 1; brp <= 64; ++brp)
    for (int rjw = 1; rjw <= 4; ++rjw)
      for (int bs1 = 1; bs1 <= 16; ++bs1)
        for (int bs2 = 1; bs2 <= 8; ++bs2)
          ASSERT_EQ(Unpack(PackBRPR(brp, rjw), PackBTR(bs1, bs2)), (Fields{brp, rjw, bs1, bs2}));
  EXPECT_EQ(PackBRPR(16, 1), 0x0F);
  EXPECT_EQ(PackBTR(2, 1), 0x01);
  EXPECT_EQ(PackBRPR(4, 2), 0x43);
  EXPECT_EQ(PackBTR(12, 3), 0x2B);
}

TEST(BitTiming, PackingKeepsOutOfRangeValuesInTheirFields) {
  EXPECT_EQ(PackBRPR(0xFF, 1), 0x3F);  // BRP held at 64, RJW untouched
  EXPECT_EQ(PackBRPR(65, 4), 0xFF);
  EXPECT_EQ(PackBRPR(0, 1), 0x00);
  EXPECT_EQ(PackBRPR(1, 9), 0xC0);
  EXPECT_EQ(PackBTR(17, 9), 0x7F);  // bit 7 stays 0
  EXPECT_EQ(PackBTR(0, 0), 0x00);
}

TEST(BitTiming, UnpackingHoldsBs2Within1To8) {
  EXPECT_EQ(Unpack(0x01, 0x2B), (Fields{2, 1, 12, 3}));  // the cell's power-on values
  EXPECT_EQ(Unpack(0xFF, 0xFF), (Fields{64, 4, 16, 8}));
  EXPECT_EQ(Unpack(0x00, 0x80), (Fields{1, 1, 1, 8}));
}

}  // namespace
