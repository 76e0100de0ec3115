#pragma once

#include "boardsim/Clock.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace boardsim {

struct TranscriptEntry {
  enum class Kind {
    Request,    // a request the monitor served, as received
    Answer,     // its answer as put on the line (after faults); empty and noted "dropped" when withheld
    Discarded,  // bytes the monitor dropped without answer (note says why)
    Noise,      // noise bytes put on the line by fault injection
  };
  Kind kind;
  std::vector<uint8_t> bytes;
  Clock::time_point time;  // request: last byte received; answer/noise: last byte written
  std::string note;
};

// Every request and answer of the line, in order, with times.
//
// Thread-safe: the simulator thread adds entries; any thread reads, clears
// and waits. mutex_ guards entries_ and sink_; changed_ is signalled on each
// addition. The sink runs on the adding thread under mutex_, so it sees the
// entries in order; it must not call back into the transcript.
class Transcript {
 public:
  using Sink = std::function<void(const TranscriptEntry&)>;

  void add(TranscriptEntry entry);
  std::vector<TranscriptEntry> entries() const;
  // The served requests only, in order: what tests compare with an expected sequence.
  std::vector<std::vector<uint8_t>> requests() const;
  std::size_t size() const;
  void clear();
  // Waits until at least n entries exist (counted since the last clear()).
  bool waitForEntries(std::size_t n, Clock::duration timeout) const;
  // Waits until n entries of the given kind exist.
  bool waitForCount(TranscriptEntry::Kind kind, std::size_t n, Clock::duration timeout) const;
  void setSink(Sink sink);

  // One line: "<seconds since origin> <direction> <hex bytes> [(note)]".
  static std::string format(const TranscriptEntry& entry, Clock::time_point origin);

 private:
  std::size_t countLocked(TranscriptEntry::Kind kind) const;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<TranscriptEntry> entries_;
  Sink sink_;
};

std::string hexBytes(const std::vector<uint8_t>& bytes);

}  // namespace boardsim
