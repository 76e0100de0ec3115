// Cost of the Bit Settings window's search and of its table of exact
// settings, for every clock from 1 to 99 MHz and the nine usual CAN rates,
// as a ratio against a baseline measured in this run: the bare loop over the
// search's candidates computing one division each.
//   bittiming_bench [repetitions]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchFigures.h"
#include "BitTiming.h"

namespace {

constexpr std::int64_t Rates[] = {10000, 20000, 50000, 100000, 125000, 250000, 500000, 800000, 1000000};
constexpr int WantedSample = 75;
constexpr double FrameMs = 16.0;

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Keeps the compiler from dropping work whose result nobody reads.
volatile std::int64_t sink;

struct Sweep {
  double totalMs = 0;
  std::vector<double> pairMs;  // each reachable clock/rate pair, in sweep order
  int refused = 0;             // pairs refused before any search
  std::size_t exactRows = 0;
};

Sweep searchAndTable() {
  Sweep s;
  const auto start = Clock::now();
  for (int clock = 1; clock <= 99; ++clock) {
    for (std::int64_t rate : Rates) {
      const auto one = Clock::now();
      const auto found = BitTiming::Search(clock, rate, WantedSample);
      if (!found) {
        ++s.refused;
        continue;
      }
      const auto table = BitTiming::ExactSettings(clock, rate, WantedSample);
      sink = found->rate + std::int64_t(table.size());
      s.exactRows += table.size();
      s.pairMs.push_back(msSince(one));
    }
  }
  s.totalMs = msSince(start);
  return s;
}

double bareCandidateLoop() {
  const auto start = Clock::now();
  std::int64_t sum = 0;
  for (int clock = 1; clock <= 99; ++clock) {
    const std::int64_t hz = clock * BitTiming::HzPerMHz;
    for (std::int64_t rate : Rates) {
      if (!BitTiming::RateReachable(clock, rate)) continue;
      for (int brp = 1; brp <= BitTiming::MaxSearchPrescaler; ++brp)
        for (int bs1 = 1; bs1 <= 16; ++bs1)
          for (int bs2 = 1; bs2 <= std::min(bs1, 8); ++bs2) sum += hz / (brp * (1 + bs1 + bs2));
    }
  }
  sink = sum;
  return msSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
  std::vector<double> totals, baselines;
  std::vector<std::vector<double>> pairSamples;  // per pair, one sample per repetition
  Sweep last;
  for (int i = 0; i < repetitions; ++i) {
    baselines.push_back(bareCandidateLoop());
    last = searchAndTable();
    totals.push_back(last.totalMs);
    pairSamples.resize(last.pairMs.size());
    for (std::size_t k = 0; k < last.pairMs.size(); ++k) pairSamples[k].push_back(last.pairMs[k]);
  }
  const double baseline = bench::Median(baselines);
  const double total = bench::Median(totals);
  const int searches = int(last.pairMs.size());
  const double perSearch = total / searches;
  // The slowest pair by its median, so that a preempted sample does not count.
  double slowest = 0;
  for (const auto& samples : pairSamples) slowest = std::max(slowest, bench::Median(samples));
  std::printf("bit timing search + exact-settings table, clocks 1-99 MHz x 9 rates, %d %%, %d repetitions (median)\n",
              WantedSample, repetitions);
  std::printf("  %d searches (%d pairs refused as out of range), %zu exact settings listed\n", searches, last.refused,
              last.exactRows);
  std::printf("  baseline: bare candidate loop, one division each  %8.3f ms\n", baseline);
  std::printf("  search + table, whole sweep                       %8.3f ms  = %5.2f x baseline\n", total,
              total / baseline);
  std::printf("  per search + table: mean %.2f us; slowest pair (its median) %.2f us = %.3f %% of a %.0f ms frame\n",
              perSearch * 1000, slowest * 1000, 100.0 * slowest / FrameMs, FrameMs);
  return 0;
}
