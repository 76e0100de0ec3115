// One line of the trace: the five cells of a received frame, as text.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

#include "CanRegisterMap.h"

struct TTraceLine {
  QString id;      // 11-bit identifier, 3 upper-case hexadecimal digits
  QString dlc;     // data length code, decimal
  QString data;    // each data byte as 2 upper-case hexadecimal digits and a blank; "R" for a remote frame
  QString filter;  // number of the accepting filter, decimal
  QString buffer;  // receive buffer, "1" to "3"

  // The frame that message buffer `buffer` (1 to 3) holds, from that buffer's
  // page image (IDHR, IDLR, Data0-Data7 at bytes 0-9, BCSR at byte 15). The
  // data length code is shown as the cell reports it (0 to 15); the data
  // never goes beyond the 8 data registers. A remote frame carries no data:
  // its data cell says "R" (IDLR bit 4), where the registers would show
  // whatever an earlier frame left.
  static TTraceLine FromBufferPage(const std::array<std::uint8_t, CanReg::PageSize>& page, int buffer);
  static QString RemoteData() { return QStringLiteral("R"); }
  bool isRemote() const { return data == RemoteData(); }

  friend bool operator==(const TTraceLine&, const TTraceLine&) = default;
};
