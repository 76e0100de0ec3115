// The board simulator's request receiver (RequestReceiver.h): whatever a
// client puts on the line, at whatever pace.
//
// Input: pairs of bytes, the pause before a byte (low four bits, in quarters
// of the resynchronisation gap) and the byte.
//
// Broken when: the requests and discards, in order, are not the bytes sent;
// a request is not a frame the monitor serves as its header says; bytes stay
// pending after the line has been quiet for a gap.
#include <vector>

#include "FuzzSupport.h"
#include "boardsim/RequestReceiver.h"

using namespace boardsim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Clock::duration gap = std::chrono::milliseconds(4);
  RequestReceiver receiver(gap);
  std::vector<RequestReceiver::Event> events;
  std::vector<std::uint8_t> sent;
  Clock::time_point t{};
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    t += gap * (data[i] & 0x0F) / 4;
    if (const auto deadline = receiver.deadline(); deadline && *deadline <= t) receiver.expire(t, events);
    receiver.feed(data[i + 1], t, events);
    sent.push_back(data[i + 1]);
  }
  receiver.expire(t + 2 * gap, events);
  FUZZ_CHECK(receiver.idle(), "nothing stays pending once the line is quiet");

  std::vector<std::uint8_t> seen;
  for (const RequestReceiver::Event& event : events) {
    if (const auto* request = std::get_if<MonitorRequest>(&event)) {
      const std::vector<std::uint8_t>& raw = request->raw;
      FUZZ_CHECK(!raw.empty() && protocol::isRequestHeader(raw[0]), "a request starts with a served header");
      FUZZ_CHECK(raw.size() == protocol::frameLength(raw[0]), "a request is as long as its header says");
      FUZZ_CHECK(request->count >= 1 && request->count <= protocol::kMaxReadCount, "a request moves 1 to 15 bytes");
      seen.insert(seen.end(), raw.begin(), raw.end());
    } else {
      const auto& discard = std::get<RequestReceiver::Discard>(event);
      FUZZ_CHECK(!discard.bytes.empty() && !discard.reason.empty(), "a discard holds bytes and says why");
      seen.insert(seen.end(), discard.bytes.begin(), discard.bytes.end());
    }
  }
  FUZZ_CHECK(seen == sent, "every byte sent is in a request or a discard, in order");
  return 0;
}
