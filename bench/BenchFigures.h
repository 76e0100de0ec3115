// What a benchmark measures of a piece of work: processor and wall time, each
// the median of several runs, so that one run disturbed by the rest of the
// machine does not decide the figure.
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <vector>

namespace bench {

struct Figure {
  double cpuMs;
  double wallMs;
};

// Processor time of the whole process so far, in milliseconds.
inline double ProcessMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Runs `work` `runs` times; `prepare`, if any, runs before each measured run
// and is not counted.
inline Figure Measure(int runs, const std::function<void()>& work, const std::function<void()>& prepare = {}) {
  std::vector<double> cpu, wall;
  for (int run = 0; run < runs; ++run) {
    if (prepare) prepare();
    const double cpuStart = ProcessMs();
    const auto wallStart = std::chrono::steady_clock::now();
    work();
    wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart).count());
    cpu.push_back(ProcessMs() - cpuStart);
  }
  return {Median(cpu), Median(wall)};
}

}  // namespace bench
