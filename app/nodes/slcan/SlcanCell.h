// What the SLCAN commands do to the CAN cell's registers: the bit timing of
// a rate, the acceptance filters of a code and mask, the writes that send a
// frame, the flags F reports, and a received buffer page as a frame.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "BitTiming.h"
#include "RegisterJob.h"
#include "SlcanProtocol.h"

namespace SlcanCell {

// The sample points the bit timing aims at, in tenths of a percent.
constexpr int SampleFromTenths = 750;
constexpr int SampleToTenths = 875;

// Of the settings that give `rate` exactly from the clock, the one whose
// sample point is nearest to 75-87.5 % (inside it: nearest to its middle;
// then the smaller prescaler). Empty when no setting gives the rate exactly.
std::optional<BitTiming::Setting> TimingFor(int clockMHz, int rate);

// The acceptance code and mask of M and m, laid out as the identifier
// registers of a standard frame: bits 31-21 the identifier, bit 20 the
// remote flag; in the mask a 1 lets the bit pass whatever it is. The cell
// compares the identifier and the frame kind only, so the mask must let bits
// 15-0 (the first data bytes) pass.
struct Acceptance {
  std::uint32_t code = 0;
  std::uint32_t mask = 0xFFFFFFFF;
};
// FHR, FLR, MHR, MLR of a filter that takes what the code and mask let
// through (the cell's mask bit is 1 where a bit must match); empty when the
// mask asks the cell to compare data bytes.
std::optional<std::array<std::uint8_t, 4>> FilterFor(const Acceptance& acceptance);
// Both filters set alike (a frame passes when either takes it), in the
// order the Filters window writes them.
std::vector<TRegisterWrite> FilterWrites(const std::array<std::uint8_t, 4>& filter);

// The writes that send `frame` from message buffer `buffer` (1-3) while the
// cell runs: TXIF and TEIF cleared alone (every other flag written 1 stays
// as it is), the buffer made a transmit buffer, IDHR, IDLR, the data bytes
// below the length among Data0-Data6, and Data7 last: writing it starts the
// transmission (with 0 when the length is below 8).
std::vector<TRegisterWrite> TransmitWrites(const Slcan::Frame& frame, int buffer);

enum class Sent { Yes, Error, Unknown };
// TXIF: sent and acknowledged; else TEIF: a transmit error; else nothing yet.
Sent Judge(std::uint8_t isr);

// The flags F reports: bit 2 error warning (TECR or RECR at 96 or above),
// bit 3 data overrun (ORIF, or an overrun seen since the last F), bit 5
// error passive (EPSV), bit 7 bus error (BOFF, or TEIF).
std::uint8_t StatusFlags(const TRegisterImages& images, bool overrunSeen);

// The frame a receive buffer's page holds (a length code above 8 reads 8).
Slcan::Frame ReceivedFrame(const TRegisterImages::PageImage& page);

}  // namespace SlcanCell
