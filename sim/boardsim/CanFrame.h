#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace boardsim {

// One classic CAN frame as it travels on the simulated bus.
struct CanFrame {
  uint32_t id = 0;        // 11 bits, or 29 bits when extended
  bool extended = false;  // 29-bit identifier; the cell only takes standard frames
  bool remote = false;    // remote frame: a length code but no data bytes
  uint8_t dlc = 0;        // data length code 0..15 (9..15 mean 8 bytes)
  std::array<uint8_t, 8> data{};

  // Number of data bytes the frame carries on the wire.
  std::size_t dataLength() const { return remote ? 0 : std::min<std::size_t>(dlc, 8); }

  friend bool operator==(const CanFrame&, const CanFrame&) = default;
};

}  // namespace boardsim
