#pragma once

#include "boardsim/TargetMemory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// One request of the monitor's frame protocol. A frame is a header byte
// (command in bits 7-4, frame length - 1 in bits 3-0) and the rest.
//   read:  13 AH AL N          answer: N, then N bytes of memory
//   write: 2L AH AL data...    (N = L - 2 bytes)   answer: 00
struct MonitorRequest {
  enum class Kind { Read, Write };
  Kind kind = Kind::Read;
  uint16_t address = 0;
  std::size_t count = 0;      // bytes to read or write
  std::vector<uint8_t> data;  // write data
  std::vector<uint8_t> raw;   // the frame as received
};

namespace protocol {
constexpr uint8_t kReadCommand = 0x1;
constexpr uint8_t kWriteCommand = 0x2;
constexpr uint8_t kReadHeader = 0x13;
constexpr std::size_t kMaxFrame = 16;
// A read answer is a frame too, so at most 15 bytes can be read at once.
constexpr std::size_t kMaxReadCount = 15;

inline std::size_t frameLength(uint8_t header) {
  return (header & 0x0F) + 1u;
}
// Whether a byte can start a request the monitor serves: the read header, or a
// write header whose length leaves room for the address and at least one byte.
inline bool isRequestHeader(uint8_t header) {
  return header == kReadHeader || ((header >> 4) == kWriteCommand && (header & 0x0F) >= 3);
}
}  // namespace protocol

// Decodes a complete frame (its length agrees with its header). Returns
// nothing for a frame the monitor cannot serve; `why` then says what is wrong.
std::optional<MonitorRequest> decodeRequest(const std::vector<uint8_t>& frame, std::string* why = nullptr);

// Carries out the request on the target and builds the answer frame.
std::vector<uint8_t> serveRequest(const MonitorRequest& request, TargetMemory& memory);

}  // namespace boardsim
