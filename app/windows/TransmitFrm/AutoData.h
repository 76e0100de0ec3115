// The data of the frames the Transmission window generates: an unsigned
// 64-bit value whose byte k is data byte k (byte 0 the least significant),
// either a counter running from CntMin to CntMax and starting again at
// CntMin, or a single set bit that moves one place per frame within the
// frame's data bytes.
#pragma once

#include <array>
#include <cstdint>

struct TAutoData {
  enum class Mode { Counter, ShiftLeft, ShiftRight };

  Mode mode = Mode::Counter;
  std::uint64_t cntMin = 0;
  std::uint64_t cntMax = 0;
  int length = 0;  // data bytes of the frame, 0 to 8

  // The value of the first frame: CntMin, or the set bit at its start
  // (bit 0 shifting left, Top() shifting right).
  std::uint64_t Start() const;
  // The value of the frame after the one that carried `value`: the counter
  // adds 1 and goes back to CntMin past CntMax, also when CntMax is the
  // largest 64-bit value (with CntMin 0 it wraps to 0 and goes on; with a
  // higher CntMin it never runs below CntMin through the wrap); the
  // shifting bit moves one place and starts again at its start when it leaves
  // the frame's data bytes (a value of 0 or above Top()).
  std::uint64_t Next(std::uint64_t value) const;
  // The highest bit of the frame's data bytes: 2^(8 * length - 1). A frame
  // without data bytes has no such bit; its shifting bit stays at 1 (bit 0),
  // which it carries nowhere, so that a later frame of the same run still
  // holds a single set bit.
  std::uint64_t Top() const;

  // The eight data bytes of a value, byte 0 the least significant.
  static std::array<std::uint8_t, 8> Bytes(std::uint64_t value);
};
