#include "boardsim/CanCell.h"

#include <algorithm>
#include <utility>

namespace boardsim {

namespace {
constexpr int kIndexMain(uint16_t address) {
  return address - CanCell::kFirstAddress;
}
constexpr int kIndexWindow(uint16_t address) {
  return address - CanCell::kWindowAddress;
}
constexpr uint8_t kErrorPassiveLimit = 128;
}  // namespace

CanCell::CanCell() {
  main_[kIndexMain(CSR)] = RUN;
  main_[kIndexMain(BRPR)] = 0x01;
  main_[kIndexMain(BTR)] = 0x2B;
}

uint8_t& CanCell::reg(int page, uint16_t address) {
  if (address < kWindowAddress) return main_[kIndexMain(address)];
  return pages_[page][kIndexWindow(address)];
}

uint8_t CanCell::reg(int page, uint16_t address) const {
  if (address < kWindowAddress) return main_[kIndexMain(address)];
  return pages_[page][kIndexWindow(address)];
}

uint8_t CanCell::peek(int page, uint16_t address) const {
  if (address < kFirstAddress || address > kLastAddress) return 0;
  if (address >= kWindowAddress && (page < 0 || page >= kPageCount)) return 0;
  return reg(page, address);
}

void CanCell::poke(int page, uint16_t address, uint8_t value) {
  if (address < kFirstAddress || address > kLastAddress) return;
  if (address >= kWindowAddress && (page < 0 || page >= kPageCount)) return;
  reg(page, address) = value;
}

// Registers that do not exist on a page (the dashes of the register map) are
// not stored: they read 0 and ignore writes, as unimplemented bus addresses
// of a peripheral do. PSR holds three bits, so pages 5-7 can be selected;
// they have no registers behind them and read 0.
uint8_t CanCell::read(uint16_t address) const {
  if (address < kWindowAddress) return main_[kIndexMain(address)];
  int p = page();
  if (p >= kPageCount) return 0;
  return pages_[p][kIndexWindow(address)];
}

void CanCell::write(uint16_t address, uint8_t value) {
  switch (address) {
    case ISR:
      writeIsr(value);
      return;
    case ICR:
      main_[kIndexMain(ICR)] = value & 0x7F;
      return;  // bit 7 reads 0
    case CSR:
      // RUN..SRTE are the program's; EPSV and BOFF report the error state
      // and belong to the cell; bit 7 reads 0.
      main_[kIndexMain(CSR)] = uint8_t((value & 0x1F) | (main_[kIndexMain(CSR)] & (EPSV | BOFF)));
      return;
    case BRPR:
    case BTR:
      main_[kIndexMain(address)] = value;
      return;
    case PSR:
      main_[kIndexMain(PSR)] = value & 0x07;
      return;
    default:
      break;
  }
  int p = page();
  if (p == 0 || p >= kPageCount) return;  // diagnosis registers are read-only
  if (p == 4) {
    if (address <= MLR1) pages_[4][kIndexWindow(address)] = value;
    return;
  }
  if (address == BCSR) {
    writeBcsr(p, value);
    return;
  }
  if (address > DATA7) return;
  pages_[p][kIndexWindow(address)] = value;
  // Writing the last data register of a transmit buffer starts the transmission.
  if (address == DATA7 && (pages_[p][kIndexWindow(BCSR)] & BCSR_TRANSMIT) && (main_[kIndexMain(CSR)] & RUN))
    transmit(p);
}

// Flags are cleared by writing 0 to them; writing 1 leaves a flag as it is.
// Clearing RXIFn hands receive buffer n back to the cell (its occupied bit
// drops), so a reader that acknowledges the flag makes room for the next frame.
void CanCell::writeIsr(uint8_t value) {
  uint8_t& isr = main_[kIndexMain(ISR)];
  uint8_t cleared = uint8_t(isr & ~value);
  isr &= value;
  for (int buffer = 1; buffer <= 3; ++buffer) {
    uint8_t flag = uint8_t(RXIF1 << (buffer - 1));
    uint8_t& bcsr = pages_[buffer][kIndexWindow(BCSR)];
    if ((cleared & flag) && !(bcsr & BCSR_TRANSMIT)) bcsr &= uint8_t(~BCSR_OCCUPIED);
  }
}

// BCSR: bit 0 (direction) is written as given; bit 2 (occupied) can only be
// cleared by software; bits 7-3 (accepting filter) are set by the cell.
void CanCell::writeBcsr(int buffer, uint8_t value) {
  uint8_t& bcsr = pages_[buffer][kIndexWindow(BCSR)];
  bcsr = uint8_t((bcsr & 0xF8) | (value & BCSR_TRANSMIT) | (bcsr & value & BCSR_OCCUPIED));
}

bool CanCell::filterAccepts(int filter, const CanFrame& frame) const {
  const auto& f = pages_[4];
  int base = filter * 4;
  uint16_t filterId = identifierFrom(f[base + 0], f[base + 1]);
  uint16_t mask = identifierFrom(f[base + 2], f[base + 3]);
  bool kindMustMatch = f[base + 3] & 0x10;
  bool filterRemote = f[base + 1] & 0x10;
  if (kindMustMatch && filterRemote != frame.remote) return false;
  return ((frame.id & mask) == (filterId & mask));
}

CanCell::ReceiveResult CanCell::receive(const CanFrame& frame) {
  ReceiveResult result;
  if (!(main_[kIndexMain(CSR)] & RUN)) {
    result.outcome = Reception::NotRunning;
    return result;
  }
  if (frame.extended || frame.id > 0x7FF) {
    result.outcome = Reception::NotStandard;
    return result;
  }
  for (int filter = 0; filter < 2 && result.filter < 0; ++filter)
    if (filterAccepts(filter, frame)) result.filter = filter;
  if (result.filter < 0) {
    result.outcome = Reception::Rejected;
    return result;
  }

  // The last identifier records every accepted frame, also one lost to overrun.
  uint8_t idHigh = uint8_t(frame.id >> 3);
  uint8_t idLow = uint8_t(((frame.id & 7) << 5) | (frame.remote ? 0x10 : 0) | (frame.dlc & 0x0F));
  pages_[0][kIndexWindow(LIDHR)] = idHigh;
  pages_[0][kIndexWindow(LIDLR)] = idLow;

  for (int buffer = 1; buffer <= 3; ++buffer) {
    auto& b = pages_[buffer];
    uint8_t& bcsr = b[kIndexWindow(BCSR)];
    if (bcsr & (BCSR_TRANSMIT | BCSR_OCCUPIED)) continue;
    b[kIndexWindow(IDHR)] = idHigh;
    b[kIndexWindow(IDLR)] = idLow;
    // Only the bytes the frame carries are written; the others keep their contents.
    std::copy_n(frame.data.begin(), frame.dataLength(), b.begin() + kIndexWindow(DATA0));
    bcsr = uint8_t((bcsr & 0x03) | BCSR_OCCUPIED | (result.filter << 3));
    main_[kIndexMain(ISR)] |= uint8_t(RXIF1 << (buffer - 1));
    uint8_t& recr = pages_[0][kIndexWindow(RECR)];
    if (recr > 0) --recr;
    updateErrorState();
    result.outcome = Reception::Stored;
    result.buffer = buffer;
    return result;
  }
  main_[kIndexMain(ISR)] |= ORIF;
  result.outcome = Reception::Overrun;
  return result;
}

// One transmission attempt, completed at once. Without acknowledgement the
// transmit error counter grows by 8 per attempt, as CAN error counting does,
// and stops at the error-passive limit (an error-passive sender's missing
// acknowledgement does not count further). Automatic retransmission is not
// modelled: the attempt ends and the buffer is released either way.
void CanCell::transmit(int buffer) {
  auto& b = pages_[buffer];
  Transmission t;
  t.buffer = buffer;
  t.frame.id = identifierFrom(b[kIndexWindow(IDHR)], b[kIndexWindow(IDLR)]);
  t.frame.remote = b[kIndexWindow(IDLR)] & 0x10;
  t.frame.dlc = b[kIndexWindow(IDLR)] & 0x0F;
  std::copy_n(b.begin() + kIndexWindow(DATA0), 8, t.frame.data.begin());
  if (t.frame.remote)
    t.frame.data.fill(0);
  else
    std::fill(t.frame.data.begin() + t.frame.dataLength(), t.frame.data.end(), uint8_t(0));
  t.acknowledged = acknowledged_;

  uint8_t& tecr = pages_[0][kIndexWindow(TECR)];
  if (acknowledged_) {
    main_[kIndexMain(ISR)] |= TXIF;
    if (tecr > 0) --tecr;
  } else {
    main_[kIndexMain(ISR)] |= TEIF;
    tecr = uint8_t(std::min<int>(tecr + 8, kErrorPassiveLimit));
  }
  b[kIndexWindow(BCSR)] &= uint8_t(~BCSR_OCCUPIED);
  updateErrorState();
  transmissions_.push_back(t);
}

// EPSV follows the error counters; a change of it raises SCIF.
void CanCell::updateErrorState() {
  uint8_t& csr = main_[kIndexMain(CSR)];
  bool passive =
      pages_[0][kIndexWindow(TECR)] >= kErrorPassiveLimit || pages_[0][kIndexWindow(RECR)] >= kErrorPassiveLimit;
  bool was = csr & EPSV;
  if (passive == was) return;
  csr = passive ? uint8_t(csr | EPSV) : uint8_t(csr & ~EPSV);
  main_[kIndexMain(ISR)] |= SCIF;
}

std::vector<CanCell::Transmission> CanCell::takeTransmissions() {
  return std::exchange(transmissions_, {});
}

}  // namespace boardsim
