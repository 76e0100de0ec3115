#include "SlcanCell.h"

#include <algorithm>
#include <cstdlib>

using namespace CanReg;

namespace SlcanCell {

namespace {

// How far a sample point (tenths) lies outside the range the timing aims at,
// and how far from the range's middle: the smaller the better, in this order.
std::pair<int, int> SampleDistance(int tenths) {
  const int outside = std::max({0, SampleFromTenths - tenths, tenths - SampleToTenths});
  return {outside, std::abs(2 * tenths - (SampleFromTenths + SampleToTenths))};
}

}  // namespace

std::optional<BitTiming::Setting> TimingFor(int clockMHz, int rate) {
  // Listed nearest to 81 % first, smaller prescalers first among equals: the
  // first of the nearest to the range is the one taken.
  const std::vector<BitTiming::ExactSetting> exact = BitTiming::ExactSettings(clockMHz, rate, 81);
  const auto best = std::min_element(exact.begin(), exact.end(), [](const auto& a, const auto& b) {
    return SampleDistance(a.samplePointTenths) < SampleDistance(b.samplePointTenths);
  });
  if (best == exact.end()) return std::nullopt;
  return best->setting;
}

std::optional<std::array<std::uint8_t, 4>> FilterFor(const Acceptance& acceptance) {
  if ((acceptance.mask & 0xFFFF) != 0xFFFF) return std::nullopt;
  const auto byte = [](std::uint32_t value, int shift) { return static_cast<std::uint8_t>(value >> shift); };
  const std::uint32_t mustMatch = ~acceptance.mask;
  // The low registers hold identifier bits 2-0 in bits 7-5 and the frame kind in bit 4.
  return std::array<std::uint8_t, 4>{byte(acceptance.code, 24),
                                     static_cast<std::uint8_t>(byte(acceptance.code, 16) & 0xF0), byte(mustMatch, 24),
                                     static_cast<std::uint8_t>(byte(mustMatch, 16) & 0xF0)};
}

std::vector<TRegisterWrite> FilterWrites(const std::array<std::uint8_t, 4>& filter) {
  std::vector<TRegisterWrite> writes;
  for (int n = 0; n < 2; ++n)
    for (const int offset : {1, 0, 3, 2})  // FLR, FHR, MLR, MHR
      writes.push_back({FilterRegister(n, offset), FilterPage, filter[std::size_t(offset)]});
  return writes;
}

std::vector<TRegisterWrite> TransmitWrites(const Slcan::Frame& frame, int buffer) {
  const int length = std::clamp(frame.length, 0, 8);
  const std::uint16_t id = frame.id & MaxIdentifier;
  std::vector<TRegisterWrite> writes{
      {ISR, 0, static_cast<std::uint8_t>(~(TXIF | TEIF))},
      {BCSR, buffer, BufferTransmits},
      {IDHR, buffer, IdentifierHigh(id)},
      {IDLR, buffer, IdentifierLow(id, static_cast<std::uint8_t>((frame.remote ? RemoteFrame : 0) | length))},
  };
  const int lastData = Data7 - Data0;
  if (!frame.remote)
    for (int k = 0; k < std::min(length, lastData); ++k)
      writes.push_back({static_cast<std::uint8_t>(Data0 + k), buffer, frame.data[std::size_t(k)]});
  const bool fullData = !frame.remote && length == 8;
  writes.push_back({Data7, buffer, fullData ? frame.data[std::size_t(lastData)] : std::uint8_t{0}});
  return writes;
}

Sent Judge(std::uint8_t isr) {
  if (isr & TXIF) return Sent::Yes;
  if (isr & TEIF) return Sent::Error;
  return Sent::Unknown;
}

std::uint8_t StatusFlags(const TRegisterImages& images, bool overrunSeen) {
  constexpr int Warning = 96;
  const std::uint8_t isr = images.main[MainIndex(ISR)];
  const std::uint8_t csr = images.main[MainIndex(CSR)];
  const auto& diagnosis = images.pages[DiagnosisPage];
  std::uint8_t flags = 0;
  if (diagnosis[PageIndex(TECR)] >= Warning || diagnosis[PageIndex(RECR)] >= Warning) flags |= 0x04;
  if (overrunSeen || (isr & ORIF)) flags |= 0x08;
  if (csr & EPSV) flags |= 0x20;
  if ((csr & BOFF) || (isr & TEIF)) flags |= 0x80;
  return flags;
}

Slcan::Frame ReceivedFrame(const TRegisterImages::PageImage& page) {
  const std::uint8_t idlr = page[PageIndex(IDLR)];
  Slcan::Frame frame;
  frame.id = Identifier(page[PageIndex(IDHR)], idlr);
  frame.remote = (idlr & RemoteFrame) != 0;
  frame.length = std::min(idlr & LengthMask, 8);
  std::copy_n(page.begin() + PageIndex(Data0), 8, frame.data.begin());
  return frame;
}

}  // namespace SlcanCell
