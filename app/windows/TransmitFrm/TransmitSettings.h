// The Transmission window's stored settings, under the key "Transmission",
// all 32-bit integers: "Automatic" (1 = the Auto page, 0 = the User page),
// "Periodic" (the Repetition choice, 1 = automatic), "Period", "BuffNum",
// "CounterMode" (1 = Counter, 0 = Shift), "CntMinHigh" and "CntMinLow" (the
// upper and lower 32 bits of CntMin), "CntMaxHigh" and "CntMaxLow", and
// "ShiftRight" (the ShiftOpt choice, 1 = right).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

struct TTransmitSettings {
  std::optional<bool> automatic;
  std::optional<bool> periodic;
  std::optional<std::int32_t> period;
  std::optional<std::int32_t> buffNum;
  std::optional<bool> counterMode;
  std::optional<std::uint64_t> cntMin;
  std::optional<std::uint64_t> cntMax;
  std::optional<bool> shiftRight;

  // Reads an integer value by name; nothing when it is missing or not an integer.
  using Reader = std::function<std::optional<std::int32_t>(const char* name)>;
  using Writer = std::function<void(const char* name, std::int32_t value)>;

  // Reads the values in the order above and stops at the first one that is
  // missing or unreadable: the settings from there on stay empty (the window
  // keeps its layout for them). A bound needs both its halves.
  static TTransmitSettings Load(const Reader& read);
  // Writes every value in the same order; all must be set.
  void Store(const Writer& write) const;

  friend bool operator==(const TTransmitSettings&, const TTransmitSettings&) = default;
};
