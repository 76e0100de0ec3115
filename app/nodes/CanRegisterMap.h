// The CAN cell's registers in the target's memory: six main registers at
// 0x5A-0x5F, and a 16-byte window at 0x60-0x6F whose contents depend on the
// page selected in PSR (0 diagnosis, 1-3 message buffers, 4 filters).
#pragma once

#include <cstdint>

namespace CanReg {

// Main registers, always visible; index = address - ISR in the main image.
constexpr std::uint8_t ISR = 0x5A;   // interrupt status
constexpr std::uint8_t ICR = 0x5B;   // interrupt control
constexpr std::uint8_t CSR = 0x5C;   // control/status
constexpr std::uint8_t BRPR = 0x5D;  // baud rate prescaler
constexpr std::uint8_t BTR = 0x5E;   // bit timing
constexpr std::uint8_t PSR = 0x5F;   // page selection
constexpr std::uint8_t First = ISR;
constexpr std::uint8_t Last = 0x6F;
constexpr int MainCount = 6;

// The paged window; index = address - PageBase in a page image.
constexpr std::uint8_t PageBase = 0x60;
constexpr int PageSize = 16;
constexpr int PageCount = 5;
constexpr int DiagnosisPage = 0;
constexpr int FilterPage = 4;
constexpr bool IsBufferPage(int page) {
  return page >= 1 && page <= 3;
}

// Page 0: diagnosis.
constexpr std::uint8_t LIDHR = 0x60, LIDLR = 0x61, TECR = 0x6E, RECR = 0x6F;
// Pages 1-3: message buffers 1-3.
constexpr std::uint8_t IDHR = 0x60, IDLR = 0x61, Data0 = 0x62, Data7 = 0x69, BCSR = 0x6F;
// Page 4: acceptance filters 0 and 1.
constexpr std::uint8_t FHR0 = 0x60, FLR0 = 0x61, MHR0 = 0x62, MLR0 = 0x63;
constexpr std::uint8_t FHR1 = 0x64, FLR1 = 0x65, MHR1 = 0x66, MLR1 = 0x67;
constexpr std::uint8_t FilterRegister(int filter, int offset) {
  return static_cast<std::uint8_t>(FHR0 + 4 * filter + offset);
}

// Index in a page image.
constexpr int PageIndex(std::uint8_t address) {
  return address - PageBase;
}
constexpr int MainIndex(std::uint8_t address) {
  return address - First;
}

// ISR bits.
constexpr std::uint8_t EPND = 0x01, TEIF = 0x02, ORIF = 0x04, SCIF = 0x08, TXIF = 0x10;
constexpr std::uint8_t RXIF1 = 0x20, RXIF2 = 0x40, RXIF3 = 0x80;
constexpr std::uint8_t RxFlag(int buffer) {
  return static_cast<std::uint8_t>(RXIF1 << (buffer - 1));
}
// ICR bits.
constexpr std::uint8_t ETX = 0x01, TEIE = 0x02, ORIE = 0x04, SCIE = 0x08, TXIE = 0x10, RXIE = 0x20, ESCI = 0x40;
// CSR bits.
constexpr std::uint8_t RUN = 0x01, WKPS = 0x02, FSYN = 0x04, NRTX = 0x08, SRTE = 0x10, EPSV = 0x20, BOFF = 0x40;
// BCSR bits.
constexpr std::uint8_t BufferTransmits = 0x01, BufferOccupied = 0x04;
constexpr int AcceptingFilter(std::uint8_t bcsr) {
  return bcsr >> 3;
}
// IDLR / FLR / MLR fields.
constexpr std::uint8_t RemoteFrame = 0x10;
constexpr std::uint8_t LengthMask = 0x0F;

// An 11-bit identifier is split the same way in every register pair that
// holds one: high = bits 10-3, low bits 7-5 = bits 2-0.
constexpr std::uint16_t MaxIdentifier = 0x7FF;
constexpr std::uint16_t Identifier(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::uint16_t>(high * 8 + (low >> 5));
}
constexpr std::uint8_t IdentifierHigh(std::uint16_t id) {
  return static_cast<std::uint8_t>((id >> 3) & 0xFF);
}
// The low register with the identifier's bits 2-0 in bits 7-5 and `rest` (bits 4-0) kept.
constexpr std::uint8_t IdentifierLow(std::uint16_t id, std::uint8_t rest = 0) {
  return static_cast<std::uint8_t>(((id & 0x07) << 5) | (rest & 0x1F));
}

// Bit timing (BRPR, BTR): see BitTiming.h.

}  // namespace CanReg
