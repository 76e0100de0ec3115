#include "boardsim/MonitorRequest.h"

namespace boardsim {

std::optional<MonitorRequest> decodeRequest(const std::vector<uint8_t>& frame, std::string* why) {
  auto fail = [why](const char* text) -> std::optional<MonitorRequest> {
    if (why) *why = text;
    return std::nullopt;
  };
  if (frame.empty()) return fail("empty frame");
  if (frame.size() != protocol::frameLength(frame[0])) return fail("length field disagrees with the frame");
  if (!protocol::isRequestHeader(frame[0])) return fail("not a request header");
  MonitorRequest request;
  request.raw = frame;
  request.address = uint16_t(frame[1] << 8 | frame[2]);
  if (frame[0] == protocol::kReadHeader) {
    request.kind = MonitorRequest::Kind::Read;
    request.count = frame[3];
    if (request.count == 0 || request.count > protocol::kMaxReadCount) return fail("read count outside 1..15");
  } else {
    request.kind = MonitorRequest::Kind::Write;
    request.data.assign(frame.begin() + 3, frame.end());
    request.count = request.data.size();
  }
  return request;
}

std::vector<uint8_t> serveRequest(const MonitorRequest& request, TargetMemory& memory) {
  if (request.kind == MonitorRequest::Kind::Write) {
    memory.write(request.address, request.data);
    return {0x00};
  }
  std::vector<uint8_t> answer{uint8_t(request.count)};
  auto bytes = memory.read(request.address, request.count);
  answer.insert(answer.end(), bytes.begin(), bytes.end());
  return answer;
}

}  // namespace boardsim
