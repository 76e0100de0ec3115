#pragma once

#include "boardsim/BoardSimulator.h"
#include "boardsim/FaultInjector.h"
#include "boardsim/FaultSchedule.h"
#include "boardsim/TrafficGenerator.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace boardsim::tool {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// What the command line asks of vorelan-boardsim.
struct ToolConfig {
  BoardSimulator::Options options;  // without traffic: see below
  bool help = false;
  bool version = false;
  bool verbose = false;  // print every request and answer
  bool quiet = false;    // print no bus frames

  bool generate = false;  // --traffic
  TrafficGenerator::Settings generator;
  std::string replayPath;  // --replay
  bool loop = false;

  // Fault commands to run once the board is up ("drop 3", "noise 5", ...).
  std::vector<std::string> startupCommands;
  std::optional<std::chrono::milliseconds> vanishAfter;
  std::optional<std::chrono::milliseconds> reappearAfter;  // counted from the vanishing

  // --chaos: faults at random while the board runs. Without a seed on the
  // command line the seed is drawn here, so the report can name it.
  std::optional<FaultSchedule::Settings> chaos;
  std::string chaosReportPath;
};

// Throws UsageError with a message naming the bad argument.
ToolConfig parseCommandLine(const std::vector<std::string>& args);
std::string usageText();

// Runs one interactive command ("drop 3", "frame 123#1122", "regs", "stats",
// ...) on the simulator and returns the text to show; `stats` reports on
// chaos, when it runs. Throws UsageError for a bad command.
std::string runCommand(BoardSimulator& sim, const std::string& line, const FaultInjector* chaos = nullptr);

// "drop,noise,vanish" or "all". Throws UsageError naming an unknown kind.
FaultKinds parseFaultKinds(const std::string& text);

// "0x123", "123h" is not accepted; decimal or 0x-hex. Throws UsageError.
unsigned long parseNumber(const std::string& text, const std::string& what, unsigned long max);
// "11 22 33", "112233" or "11,22,33". Throws UsageError.
std::vector<uint8_t> parseHexBytes(const std::string& text);

}  // namespace boardsim::tool
