#include "boardsim/TrafficGenerator.h"

#include <stdexcept>

namespace boardsim {

namespace {
// A late wake-up never floods the bus: frames more than this many behind are skipped.
constexpr uint64_t kMaxBurst = 64;
}  // namespace

TrafficGenerator::TrafficGenerator(Settings settings) : settings_(std::move(settings)) {
  if (settings_.ids.empty()) throw std::invalid_argument("the traffic generator needs at least one identifier");
  for (uint16_t id : settings_.ids)
    if (id > 0x7FF) throw std::invalid_argument("traffic identifier above 0x7FF");
  if (!(settings_.rate > 0 && settings_.rate <= 100000))
    throw std::invalid_argument("traffic rate must be in (0, 100000] frames per second");
  if (settings_.dlc > 8) throw std::invalid_argument("traffic data length above 8");
  period_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / settings_.rate));
}

void TrafficGenerator::start(Clock::time_point t0) {
  t0_ = t0;
  next_ = 0;
}

std::optional<Clock::time_point> TrafficGenerator::nextDue() const {
  return t0_ + period_ * int64_t(next_);
}

std::vector<CanFrame> TrafficGenerator::takeDue(Clock::time_point now) {
  std::vector<CanFrame> frames;
  if (now < t0_) return frames;
  uint64_t dueUpTo = uint64_t((now - t0_) / period_);  // frame numbers 0..dueUpTo are due
  if (dueUpTo >= next_ + kMaxBurst) next_ = dueUpTo + 1 - kMaxBurst;
  for (; next_ <= dueUpTo; ++next_) frames.push_back(frame(next_));
  return frames;
}

CanFrame TrafficGenerator::frame(uint64_t number) const {
  CanFrame f;
  f.id = settings_.ids[number % settings_.ids.size()];
  f.dlc = settings_.dlc;
  for (std::size_t i = 0; i < 8; ++i) f.data[i] = i < f.dlc ? uint8_t(number >> (8 * i)) : 0;
  return f;
}

}  // namespace boardsim
