// The acceptance filters' registers on page 4: how a filter (identifier,
// mask, frame kind) is written into FHRn, FLRn, MHRn and MLRn, read back
// from them, and in which order the Filters window writes them.
#pragma once

#include <array>
#include <cstdint>

namespace FilterRegisters {

// The choice's indices: Data 0, Remote 1, Both 2; None while nothing is
// selected, which is written as Data.
enum class FrameKind { None = -1, Data = 0, Remote = 1, Both = 2 };

struct FilterSetting {
  std::uint16_t id = 0;    // 0 to 0x7FF
  std::uint16_t mask = 0;  // 0 to 0x7FF; 1 = the bit must match
  FrameKind kind = FrameKind::None;
  friend bool operator==(const FilterSetting&, const FilterSetting&) = default;
};

// What "All IDs" makes of a filter: mask 0 and both frame kinds; the
// identifier stays.
constexpr FilterSetting AcceptingAll(FilterSetting f) {
  f.mask = 0;
  f.kind = FrameKind::Both;
  return f;
}

// The four registers of one filter, in address order: FHR, FLR, MHR, MLR.
// Identifier and mask are taken as 11-bit values. FLR bit 4 = Remote; MLR
// bit 4 = the frame kind must match (all but Both).
std::array<std::uint8_t, 4> Encode(const FilterSetting& f);
// Back from the four registers: Both when MLR bit 4 is 0, else Remote when
// FLR bit 4 is 1, else Data.
FilterSetting Decode(const std::array<std::uint8_t, 4>& registers);

struct RegisterWrite {
  std::uint8_t address;
  std::uint8_t value;
  friend bool operator==(const RegisterWrite&, const RegisterWrite&) = default;
};

// The eight page-4 writes that set both filters, in the order the cell is
// written: FLR0, FHR0, MLR0, MHR0, FLR1, FHR1, MLR1, MHR1.
std::array<RegisterWrite, 8> WritesFor(const FilterSetting& filter0, const FilterSetting& filter1);

}  // namespace FilterRegisters
