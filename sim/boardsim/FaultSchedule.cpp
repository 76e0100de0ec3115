#include "boardsim/FaultSchedule.h"

#include "boardsim/Transcript.h"

#include <cstdio>
#include <stdexcept>

namespace boardsim {

namespace {
constexpr const char* kNames[kFaultKindCount] = {"drop", "corrupt", "extra", "split", "noise", "vanish", "noack"};

std::string seconds(Clock::duration d) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", std::chrono::duration<double>(d).count());
  return text;
}
}  // namespace

const char* faultKindName(FaultKind kind) {
  return kNames[std::size_t(kind)];
}

std::optional<FaultKind> faultKindNamed(std::string_view name) {
  for (std::size_t k = 0; k < kFaultKindCount; ++k)
    if (name == kNames[k]) return FaultKind(k);
  return std::nullopt;
}

FaultKinds allFaultKinds() {
  return FaultKinds().set();
}

std::string describe(const ScheduledFault& fault) {
  std::string text = std::string(faultKindName(fault.kind)) + ": ";
  switch (fault.kind) {
    case FaultKind::Drop:
      return text + "no answer to the next request";
    case FaultKind::Corrupt:
      return text + "the next answer carries command 1";
    case FaultKind::Extra:
      return text + hexBytes(fault.bytes) + " after the next answer";
    case FaultKind::Split:
      return text + "the next answer in pieces of " + std::to_string(fault.pieceSize) + " bytes, " +
             std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(fault.pieceDelay).count()) +
             " ms apart";
    case FaultKind::Noise:
      return text + hexBytes(fault.bytes);
    case FaultKind::Vanish:
      return text + "gone for " + seconds(fault.lasting);
    case FaultKind::NoAck:
      return text + "no acknowledgement for " + seconds(fault.lasting);
  }
  return text;
}

FaultSchedule::FaultSchedule(Settings settings) : settings_(std::move(settings)), random_(settings_.seed) {
  if (settings_.kinds.none()) throw std::invalid_argument("no fault kind enabled");
  if (settings_.meanInterval < std::chrono::milliseconds(1))
    throw std::invalid_argument("the mean interval between faults is under 1 ms");
  if (settings_.shortestOutage < Clock::duration::zero() || settings_.longestOutage < settings_.shortestOutage)
    throw std::invalid_argument("the outage bounds are out of order");
  for (std::size_t k = 0; k < kFaultKindCount; ++k)
    if (settings_.kinds.test(k)) enabled_.push_back(FaultKind(k));
}

uint64_t FaultSchedule::uniform(uint64_t low, uint64_t high) {
  uint64_t span = high - low + 1;  // 0 when the range is every value
  uint64_t r = random_();
  return span == 0 ? r : low + r % span;  // spans are tiny against 2^64: no visible bias
}

// In whole microseconds, so that the draws do not depend on the clock's tick.
Clock::duration FaultSchedule::between(Clock::duration low, Clock::duration high) {
  using std::chrono::microseconds;
  auto lo = uint64_t(std::chrono::duration_cast<microseconds>(low).count());
  auto hi = uint64_t(std::chrono::duration_cast<microseconds>(high).count());
  return microseconds(uniform(lo, hi));
}

std::vector<uint8_t> FaultSchedule::randomBytes(std::size_t count) {
  std::vector<uint8_t> bytes(count);
  for (auto& b : bytes) b = uint8_t(uniform(0, 255));
  return bytes;
}

std::optional<ScheduledFault> FaultSchedule::next() {
  if (settings_.limit != 0 && drawn_ >= settings_.limit) return std::nullopt;
  ++drawn_;
  ScheduledFault fault;
  fault.kind = enabled_[uniform(0, enabled_.size() - 1)];
  fault.after = between(settings_.meanInterval / 2, settings_.meanInterval * 3 / 2);
  switch (fault.kind) {
    case FaultKind::Drop:
    case FaultKind::Corrupt:
      break;
    case FaultKind::Extra:
      fault.bytes = randomBytes(uniform(1, 4));
      break;
    case FaultKind::Split:
      fault.pieceSize = uniform(1, 3);
      fault.pieceDelay = std::chrono::milliseconds(uniform(5, 30));
      break;
    case FaultKind::Noise:
      fault.bytes = randomBytes(uniform(1, 16));
      break;
    case FaultKind::Vanish:
    case FaultKind::NoAck:
      fault.lasting = between(settings_.shortestOutage, settings_.longestOutage);
      break;
  }
  return fault;
}

}  // namespace boardsim
