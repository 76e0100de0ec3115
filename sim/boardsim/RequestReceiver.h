#pragma once

#include "boardsim/Clock.h"
#include "boardsim/MonitorRequest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace boardsim {

// Cuts the byte stream from the PC into requests, the way the monitor reads it.
//
// Resynchronisation: a byte that cannot start a served request (anything but
// 0x13 and 0x23..0x2F) is dropped at once. A started request waits for as many
// bytes as its header announces; if it then is not servable (a read of 0 or
// more than 15 bytes), or if the line stays quiet for the resync gap before it
// is complete, only its header byte is dropped and the bytes after it are
// examined again as a possible start. So after any garbage the first request
// that follows a quiet line of one gap is always found, and a good request
// hidden behind a stray byte of the same burst is found too.
//
// Dropped bytes are gathered into one Discard until a request is recognised
// or the line falls quiet. Not thread-safe; used by the simulator thread only.
class RequestReceiver {
 public:
  struct Discard {
    std::vector<uint8_t> bytes;
    std::string reason;  // why its first byte was dropped
  };
  using Event = std::variant<MonitorRequest, Discard>;

  explicit RequestReceiver(Clock::duration resyncGap) : gap_(resyncGap) {}

  // One byte arrived (fully received) at time t; events are appended to out.
  void feed(uint8_t byte, Clock::time_point t, std::vector<Event>& out);
  // Call at or after deadline(): handles a line that fell quiet.
  void expire(Clock::time_point now, std::vector<Event>& out);
  // When expire() next has work to do, if ever.
  std::optional<Clock::time_point> deadline() const;
  // Nothing pending: no partial request and no unreported discard.
  bool idle() const { return buffer_.empty() && pending_.bytes.empty(); }
  void reset();

 private:
  void process(bool lineQuiet, std::vector<Event>& out);
  void discardFront(const std::string& reason);
  void flushDiscard(std::vector<Event>& out);

  Clock::duration gap_;
  std::vector<uint8_t> buffer_;
  Discard pending_;
  Clock::time_point lastByte_{};
};

}  // namespace boardsim
