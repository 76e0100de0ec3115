// The board simulator's candump reader (CandumpLog.h) and the replay of what
// it reads (CandumpReplay.h): a log named with --replay may hold anything.
//
// Input: the log's bytes.
//
// Broken when: a frame read is written back to a line that does not read as
// the same frame at the same time; the replay, when it takes the log, hands
// out more frames than a cycle holds at once, a frame before its time, or
// overflows its clock (UBSan).
#include <chrono>
#include <fstream>
#include <stdexcept>

#include "FuzzSupport.h"
#include "boardsim/CandumpLog.h"
#include "boardsim/CandumpReplay.h"

using namespace boardsim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = (fuzz::ScratchFolder() / "replay.log").string();
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
  std::vector<candump::Record> records;
  try {
    records = candump::readFile(path);
  } catch (const candump::ParseError&) {
    return 0;
  }
  for (const candump::Record& r : records) {
    if (!r.replayable) continue;
    const candump::Record back = candump::parseLine(candump::formatLine(r.timestamp, r.interface, r.frame));
    FUZZ_CHECK(back.timestamp == r.timestamp && back.interface == r.interface && back.frame == r.frame,
               "a frame written back reads the same");
  }
  for (const bool loop : {false, true}) {
    try {
      CandumpReplay replay(records, loop);
      const Clock::time_point t0 = Clock::now();
      replay.start(t0);
      for (const auto later : {Clock::duration::zero(), Clock::duration(std::chrono::hours(1)),
                               Clock::duration(std::chrono::hours(24 * 365 * 80))}) {
        const std::vector<CanFrame> due = replay.takeDue(t0 + later);
        const std::size_t flood = 4 * replay.frameCount() + 64;  // where a stalled clock stops a looping replay
        FUZZ_CHECK(due.size() <= flood + replay.frameCount(), "a stalled clock never floods the bus");
        const auto next = replay.nextDue();
        FUZZ_CHECK(due.size() > flood || !next || *next > t0 + later, "whatever is due is handed out");
      }
    } catch (const std::invalid_argument&) {
      // a log spanning more than the clock holds
    }
  }
  return 0;
}
