#include <gtest/gtest.h>

#include <random>

#include "FilterMatch.h"

namespace {

using FilterMatch::Filter;

std::int64_t bruteNextAccepted(std::int64_t a, const Filter& f) {
  while (!f.accepts(a)) ++a;
  return a;
}

TEST(FilterMatch, NextAcceptedAgreesWithCounting) {
  std::mt19937 random(11);
  const std::uint16_t masks[] = {0, 1, 0x7F0, 0x7FF, 0xFFFF, 0x8001, 0x0F0F};
  for (int round = 0; round < 3000; ++round) {
    const Filter f{std::uint16_t(random()), round < 700 ? masks[round % 7] : std::uint16_t(random())};
    const std::int64_t a = std::int64_t(random() % 400000) - 200000;
    ASSERT_EQ(FilterMatch::nextAccepted(a, f), bruteNextAccepted(a, f))
        << "id " << f.id << " mask " << f.mask << " from " << a;
  }
}

TEST(FilterMatch, RunAroundIsTheStretchOfAcceptedNeighbours) {
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    const Filter f{std::uint16_t(random() & 0x7FF), std::uint16_t(random() & 0x7FF)};
    const std::int64_t min = random() % 64, max = 0x7FF - std::int64_t(random() % 64);
    const std::int64_t v = min + random() % (max - min + 1);
    const auto run = FilterMatch::runAround(v, f, min, max);
    if (!f.accepts(v)) {
      EXPECT_FALSE(run.has_value());
      continue;
    }
    std::int64_t begin = v, end = v;
    while (begin - 1 >= min && f.accepts(begin - 1)) --begin;
    while (end + 1 <= max && f.accepts(end + 1)) ++end;
    ASSERT_TRUE(run.has_value());
    ASSERT_EQ(run->begin, begin) << f.id << "/" << f.mask << " at " << v;
    ASSERT_EQ(run->end, end) << f.id << "/" << f.mask << " at " << v;
  }
}

TEST(FilterMatch, RunsOfTheFiltersWindowExamples) {
  const auto block = FilterMatch::runAround(0x125, Filter{0x123, 0x7F0}, 0, 0x7FF);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->begin, 0x120);
  EXPECT_EQ(block->end, 0x12F);
  const auto all = FilterMatch::runAround(0x400, Filter{0x555, 0}, 0, 0x7FF);
  ASSERT_TRUE(all);
  EXPECT_EQ(all->begin, 0);
  EXPECT_EQ(all->end, 0x7FF);
  const auto clipped = FilterMatch::runAround(0x7FE, Filter{0, 0x800}, 0x10, 0x7FF);
  ASSERT_TRUE(clipped);
  EXPECT_EQ(clipped->begin, 0x10);
  EXPECT_EQ(clipped->end, 0x7FF);
}

}  // namespace
