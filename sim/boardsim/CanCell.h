#pragma once

#include "boardsim/CanFrame.h"

#include <array>
#include <cstdint>
#include <vector>

namespace boardsim {

// The microcontroller's CAN cell: six main registers at 0x5A-0x5F and a
// 16-byte window at 0x60-0x6F whose contents PSR selects among five pages
// (0 diagnosis, 1-3 message buffers, 4 acceptance filters).
//
// read()/write() behave as the hardware does for the monitor; peek()/poke()
// reach the raw storage behind them for tests and tools. Not thread-safe:
// the owner (BoardSimulator) serialises every call under its state lock.
class CanCell {
 public:
  static constexpr uint16_t kFirstAddress = 0x5A;
  static constexpr uint16_t kLastAddress = 0x6F;
  static constexpr uint16_t kWindowAddress = 0x60;
  static constexpr int kPageCount = 5;

  enum Register : uint16_t {
    ISR = 0x5A,
    ICR = 0x5B,
    CSR = 0x5C,
    BRPR = 0x5D,
    BTR = 0x5E,
    PSR = 0x5F,
    // page 0
    LIDHR = 0x60,
    LIDLR = 0x61,
    TECR = 0x6E,
    RECR = 0x6F,
    // pages 1-3
    IDHR = 0x60,
    IDLR = 0x61,
    DATA0 = 0x62,
    DATA7 = 0x69,
    BCSR = 0x6F,
    // page 4
    FHR0 = 0x60,
    FLR0 = 0x61,
    MHR0 = 0x62,
    MLR0 = 0x63,
    FHR1 = 0x64,
    FLR1 = 0x65,
    MHR1 = 0x66,
    MLR1 = 0x67,
  };

  // ISR bits
  static constexpr uint8_t EPND = 0x01, TEIF = 0x02, ORIF = 0x04, SCIF = 0x08, TXIF = 0x10, RXIF1 = 0x20, RXIF2 = 0x40,
                           RXIF3 = 0x80;
  // CSR bits
  static constexpr uint8_t RUN = 0x01, NRTX = 0x08, EPSV = 0x20, BOFF = 0x40;
  // BCSR bits
  static constexpr uint8_t BCSR_TRANSMIT = 0x01, BCSR_OCCUPIED = 0x04;

  // Power-on state chosen so that a fresh simulator shows traffic at once:
  // CSR = RUN, both filters accept every standard frame (identifier 0, mask 0,
  // frame kind "both"), buffers 1-3 are free receive buffers, PSR = 0, and the
  // bit timing BRPR 0x01 / BTR 0x2B (prescaler 2, BS1 12, BS2 3, RJW 1: 250 kbit/s
  // at 8 MHz, sample point at 81 %). Every other register is 0.
  CanCell();

  uint8_t read(uint16_t address) const;
  // May transmit (Data7 of a transmit buffer); see takeTransmissions().
  void write(uint16_t address, uint8_t value);

  // Raw storage: page is ignored for 0x5A-0x5F; out-of-range page/address reads 0, writes nothing.
  uint8_t peek(int page, uint16_t address) const;
  void poke(int page, uint16_t address, uint8_t value);

  enum class Reception { Stored, Overrun, Rejected, NotRunning, NotStandard };
  struct ReceiveResult {
    Reception outcome = Reception::Rejected;
    int buffer = 0;   // 1..3 when stored
    int filter = -1;  // accepting filter (stored or overrun)
  };
  // A frame seen on the bus.
  ReceiveResult receive(const CanFrame& frame);

  // Whether another node acknowledges what the cell sends.
  void setAcknowledged(bool acknowledged) { acknowledged_ = acknowledged; }
  bool acknowledged() const { return acknowledged_; }

  struct Transmission {
    CanFrame frame;
    int buffer = 0;
    bool acknowledged = false;
  };
  // Frames sent since the last call, oldest first.
  std::vector<Transmission> takeTransmissions();

  // Whether filter n (0 or 1) as programmed on page 4 accepts the frame.
  bool filterAccepts(int filter, const CanFrame& frame) const;

  static uint16_t identifierFrom(uint8_t high, uint8_t low) { return uint16_t(high * 8 + (low >> 5)); }

 private:
  uint8_t& reg(int page, uint16_t address);
  uint8_t reg(int page, uint16_t address) const;
  int page() const { return main_[PSR - kFirstAddress]; }
  void writeIsr(uint8_t value);
  void writeBcsr(int buffer, uint8_t value);
  void transmit(int buffer);
  void updateErrorState();

  std::array<uint8_t, 6> main_{};
  std::array<std::array<uint8_t, 16>, kPageCount> pages_{};
  std::vector<Transmission> transmissions_;
  bool acknowledged_ = true;
};

}  // namespace boardsim
