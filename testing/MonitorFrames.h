// The request frames a client sends the board's monitor, for tests and
// benchmarks to send, expect and compare: a header byte (command in bits 7-4,
// frame length - 1 in bits 3-0), the address high byte first, then the count
// of a read or the bytes of a write. Written out here from the protocol's
// rules, apart from the program's and the simulator's own code, so that a
// test compares their frames with the protocol itself.
#pragma once

#include <cstdint>
#include <vector>

// 13 AH AL N: N bytes from the address; answered by N, then the bytes.
inline std::vector<std::uint8_t> ReadRequest(std::uint16_t address, std::uint8_t count) {
  return {0x13, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), count};
}

// 2L AH AL data...: the bytes from the address on (L = their count + 2); answered by 00.
inline std::vector<std::uint8_t> WriteRequest(std::uint16_t address, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(0x20 | (data.size() + 2)),
                                  static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
  frame.insert(frame.end(), data.begin(), data.end());
  return frame;
}

// 23 AH AL V: one byte.
inline std::vector<std::uint8_t> WriteRequest(std::uint16_t address, std::uint8_t value) {
  return WriteRequest(address, std::vector<std::uint8_t>{value});
}
