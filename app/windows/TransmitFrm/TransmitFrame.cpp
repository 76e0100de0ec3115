#include "TransmitFrame.h"

#include <algorithm>

using namespace CanReg;

TTransmitFrame TTransmitFrame::FromBufferPage(const std::array<std::uint8_t, PageSize>& page) {
  const std::uint8_t idlr = page[PageIndex(IDLR)];
  TTransmitFrame frame;
  frame.id = Identifier(page[PageIndex(IDHR)], idlr);
  frame.remote = (idlr & RemoteFrame) != 0;
  frame.length = std::min(idlr & LengthMask, MaxLength);
  std::copy_n(page.begin() + PageIndex(Data0), MaxLength, frame.data.begin());
  return frame;
}

std::vector<TRegisterWrite> FrameWrites(const TTransmitFrame& frame, int buffer) {
  const int length = std::clamp(frame.length, 0, TTransmitFrame::MaxLength);
  const std::uint16_t id = frame.id & MaxIdentifier;
  const std::uint8_t rest = static_cast<std::uint8_t>((frame.remote ? RemoteFrame : 0) | length);

  std::vector<TRegisterWrite> writes{
      {CSR, 0, 0x00},
      {ISR, 0, 0x00},
      {PSR, 0, static_cast<std::uint8_t>(buffer)},
      {BCSR, buffer, 0x00},
      {CSR, 0, RUN},
      {BCSR, buffer, BufferTransmits},
      {IDHR, buffer, IdentifierHigh(id)},
      {IDLR, buffer, IdentifierLow(id, rest)},
  };
  const int lastData = Data7 - Data0;
  for (int k = 0; k < std::min(length, lastData); ++k)
    writes.push_back({static_cast<std::uint8_t>(Data0 + k), buffer, frame.data[static_cast<std::size_t>(k)]});
  writes.push_back({Data7, buffer, length == TTransmitFrame::MaxLength ? frame.data[lastData] : std::uint8_t{0}});
  return writes;
}
