// Bit timing of the CAN cell: what a prescaler (BRP) and two bit segments
// (BS1, BS2) give at a CPU clock, the search for the setting nearest to a
// wanted baud rate and sample point, the list of every setting that reaches a
// rate exactly, and the packing into BRPR and BTR.
//
// Everything is integer arithmetic on the exact quotients, so results never
// depend on floating-point rounding: Round is "nearest, halves to even".
// Clock 0 has no rate and no time quantum; those functions say so with an
// empty optional instead of dividing by zero.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace BitTiming {

// Register ranges: BRPR bits 5-0 = BRP - 1, bits 7-6 = RJW - 1; BTR bits 3-0 =
// BS1 - 1, bits 6-4 = BS2 - 1.
constexpr int MinPrescaler = 1;
constexpr int MaxPrescaler = 64;
constexpr int MaxSegment1 = 16;
constexpr int MaxSegment2 = 8;
constexpr int MaxJumpWidth = 4;
// The search visits the prescalers up to this one only; the table of exact
// settings covers the register's whole range.
constexpr int MaxSearchPrescaler = 31;
// The search accepts a candidate whose sample point is off by up to this many
// percentage points more than the current best's.
constexpr int SampleTolerance = 3;
constexpr std::int64_t HzPerMHz = 1'000'000;

// num / den rounded to the nearest integer, halves to the even neighbour.
// num >= 0, den > 0.
std::int64_t RoundHalfEven(std::int64_t num, std::int64_t den);

struct Setting {
  int brp = 1;
  int bs1 = 1;
  int bs2 = 1;
  friend bool operator==(const Setting&, const Setting&) = default;
};

// N: one synchronisation quantum plus both segments.
constexpr int QuantaPerBit(int bs1, int bs2) {
  return 1 + bs1 + bs2;
}
// Round(clock in Hz / (BRP x N)); empty for clock 0.
std::optional<std::int64_t> BaudRate(int clockMHz, const Setting& s);
// Round((BS1 + 1) / N x 100).
int SamplePoint(int bs1, int bs2);
// The sample point in tenths of a percent, rounded the same way (62.5 % is 625).
int SamplePointTenths(int bs1, int bs2);
// Round(samplePercent x sliderMaximum / 100): where the slider shows the sample point.
int SliderPosition(int samplePercent, int sliderMaximum);
// (1000 x BRP) / clock in MHz, remainder dropped; empty for clock 0.
std::optional<std::int64_t> TimeQuantumNs(int clockMHz, int brp);

// The rates a clock can reach: clock / 800 to clock / 3 (integer divisions).
// A clock of 0 reaches none.
bool RateReachable(int clockMHz, std::int64_t rate);

struct Candidate {
  Setting setting;
  std::int64_t rate = 0;
  int samplePoint = 0;
};

// The search for the setting nearest to the wanted rate and sample point.
// Visits BRP 1-31, BS1 1-16, BS2 1 to min(BS1, 8), in this order; a
// candidate replaces the best unless its rate error is greater than the
// best's or its sample point error exceeds the best's by more than
// SampleTolerance, so among equals the last one visited wins. Empty when the
// rate is not reachable (RateReachable); otherwise it always finds one.
std::optional<Candidate> Search(int clockMHz, std::int64_t wantedRate, int wantedSamplePercent);

// A setting that gives a rate exactly (clock in Hz = rate x BRP x N).
struct ExactSetting {
  Setting setting;
  int samplePoint = 0;        // percent, rounded as the window shows it
  int samplePointTenths = 0;  // tenths of a percent, rounded
  std::int64_t timeQuantumNs = 0;
};

// Whether a's sample point is closer to the wanted one than b's; among equal
// distances the smaller prescaler (finer time quantum) comes first, then the
// smaller BS1. Exact: distances are compared as fractions.
bool CloserSamplePoint(const ExactSetting& a, const ExactSetting& b, int wantedSamplePercent);

// Every setting with BRP 1-64, BS1 1-16 and BS2 1 to min(BS1, 8) (the pairs
// the window can hold) whose rate equals wantedRate exactly, ordered by
// CloserSamplePoint. Empty for clock 0 or rate 0.
std::vector<ExactSetting> ExactSettings(int clockMHz, std::int64_t wantedRate, int wantedSamplePercent);

// BRPR = (RJW - 1) x 64 + (BRP - 1), BTR = (BS1 - 1) + (BS2 - 1) x 16. Each
// value is first held within its register field (BRP 1-64, RJW 1-4, BS1
// 1-16, BS2 1-8), so a byte never carries bits of a neighbouring field.
std::uint8_t PackBRPR(int brp, int rjw);
std::uint8_t PackBTR(int bs1, int bs2);

// The fields read back from BRPR and BTR. BS2 is held within 1-8: BTR bit 7,
// written as 0, would otherwise make it 9 to 16.
struct Fields {
  int brp = 1;
  int rjw = 1;
  int bs1 = 1;
  int bs2 = 1;
  friend bool operator==(const Fields&, const Fields&) = default;
};
Fields Unpack(std::uint8_t brpr, std::uint8_t btr);

}  // namespace BitTiming
