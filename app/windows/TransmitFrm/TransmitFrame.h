// The frame the Transmission window sends, and the register writes that put
// it into a message buffer of the CAN cell and send it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "CanRegisterMap.h"
#include "RegisterJob.h"

struct TTransmitFrame {
  static constexpr int MaxLength = 8;

  std::uint16_t id = 0;  // only bits 10-0 are sent
  bool remote = false;
  int length = 0;  // 0 to 8
  std::array<std::uint8_t, MaxLength> data{};

  // The frame that message buffer page `page` holds (IDHR, IDLR, Data0-Data7
  // at bytes 0-9): identifier, remote flag and data as they stand; a length
  // code above 8 gives length 8.
  static TTransmitFrame FromBufferPage(const std::array<std::uint8_t, CanReg::PageSize>& page);

  friend bool operator==(const TTransmitFrame&, const TTransmitFrame&) = default;
};

// The writes that send `frame` from message buffer `buffer` (1 to 3), in
// order: the cell stopped (CSR 0), every interrupt flag cleared (ISR 0), the
// buffer's page selected, the buffer freed (BCSR 0), the cell running again
// (CSR RUN), the buffer made a transmit buffer (BCSR 1), IDHR, IDLR, the data
// bytes below the length among Data0-Data6, and Data7 last. Data7 is written
// in every case (with 0 when the length is below 8): writing it is what makes
// the cell send the frame, so nothing may follow it. Data registers beyond the
// length keep what they held. The length is taken within 0 to 8 and the
// identifier's bits above bit 10 are dropped.
std::vector<TRegisterWrite> FrameWrites(const TTransmitFrame& frame, int buffer);
