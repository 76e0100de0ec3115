#pragma once

#include "boardsim/Clock.h"

#include <bitset>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

// The simulator's fault modes, as a schedule chooses among them.
enum class FaultKind {
  Drop,     // no answer to one request
  Corrupt,  // one answer with command field 1
  Extra,    // bytes after one answer
  Split,    // one answer in pieces with silence between them
  Noise,    // bytes on the line that answer nothing
  Vanish,   // the device goes away for a while, then a new one comes up
  NoAck,    // nobody acknowledges what the cell sends, for a while
};
inline constexpr std::size_t kFaultKindCount = 7;
using FaultKinds = std::bitset<kFaultKindCount>;

// "drop", "corrupt", "extra", "split", "noise", "vanish", "noack": the names
// on the command line and in the report line.
const char* faultKindName(FaultKind kind);
std::optional<FaultKind> faultKindNamed(std::string_view name);
FaultKinds allFaultKinds();

// One fault as a schedule decided it.
struct ScheduledFault {
  FaultKind kind = FaultKind::Drop;
  Clock::duration after{};       // quiet time before it, from the end of the previous fault
  std::vector<uint8_t> bytes;    // Extra: 1-4 bytes after the answer; Noise: 1-16 bytes on the line
  std::size_t pieceSize = 0;     // Split: 1-3 bytes a piece
  Clock::duration pieceDelay{};  // Split: 5-30 ms of silence between pieces
  Clock::duration lasting{};     // Vanish, NoAck: how long until the device or acknowledgement is back
};

// "vanish: gone for 1.250 s", "extra: 55 AA after the next answer", ...
std::string describe(const ScheduledFault& fault);

// Random faults from a seed: when the next one comes and which one it is.
// Every interval lies between half and one and a half times the mean, every
// kind is equally likely among the enabled ones, and the parameters lie in
// the ranges given at ScheduledFault. The decisions depend on the settings
// alone: a seed gives the same faults, intervals and parameters in the same
// order on every run and machine (mt19937_64, with ranges mapped here rather
// than by the standard library's distributions, which differ between
// implementations).
// Not thread-safe: FaultInjector's thread is its one user.
class FaultSchedule {
 public:
  struct Settings {
    uint64_t seed = 0;
    Clock::duration meanInterval = std::chrono::seconds(1);  // at least 1 ms
    FaultKinds kinds = allFaultKinds();                      // at least one
    // How long a vanish or an ack-off lasts: drawn between these two.
    Clock::duration shortestOutage = std::chrono::milliseconds(500);
    Clock::duration longestOutage = std::chrono::seconds(3);
    uint64_t limit = 0;  // the schedule ends after this many faults; 0: never
  };

  // Throws std::invalid_argument for settings outside the bounds above.
  explicit FaultSchedule(Settings settings);

  const Settings& settings() const { return settings_; }
  // The next fault; nothing once `limit` faults were drawn.
  std::optional<ScheduledFault> next();

 private:
  uint64_t uniform(uint64_t low, uint64_t high);  // both included
  Clock::duration between(Clock::duration low, Clock::duration high);
  std::vector<uint8_t> randomBytes(std::size_t count);

  Settings settings_;
  std::vector<FaultKind> enabled_;
  std::mt19937_64 random_;
  uint64_t drawn_ = 0;
};

}  // namespace boardsim
