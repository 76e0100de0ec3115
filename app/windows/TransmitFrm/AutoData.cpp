#include "AutoData.h"

#include <algorithm>

std::uint64_t TAutoData::Top() const {
  const int bytes = std::clamp(length, 0, 8);
  if (bytes == 0) return 1;
  return std::uint64_t{1} << (8 * bytes - 1);
}

std::uint64_t TAutoData::Start() const {
  switch (mode) {
    case Mode::Counter:
      return cntMin;
    case Mode::ShiftLeft:
      return 1;
    case Mode::ShiftRight:
      return Top();
  }
  return 0;
}

std::uint64_t TAutoData::Next(std::uint64_t value) const {
  switch (mode) {
    case Mode::Counter: {
      // After the largest 64-bit value the sum wraps to 0; that is past
      // CntMax too, so the counter goes back to CntMin, never below it.
      const std::uint64_t next = value + 1;
      return next == 0 || next > cntMax ? cntMin : next;
    }
    case Mode::ShiftLeft: {
      const std::uint64_t next = value << 1;  // bit 63 drops out
      return next == 0 || next > Top() ? 1 : next;
    }
    case Mode::ShiftRight: {
      const std::uint64_t next = value >> 1;
      return next == 0 || next > Top() ? Top() : next;
    }
  }
  return value;
}

std::array<std::uint8_t, 8> TAutoData::Bytes(std::uint64_t value) {
  std::array<std::uint8_t, 8> bytes{};
  for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>(value >> (8 * k));
  return bytes;
}
