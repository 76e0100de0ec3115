#include "TraceLine.h"

#include <algorithm>

using namespace CanReg;

namespace {
QString Hex(unsigned value, int digits) {
  return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}
}  // namespace

TTraceLine TTraceLine::FromBufferPage(const std::array<std::uint8_t, PageSize>& page, int buffer) {
  const std::uint8_t idlr = page[PageIndex(IDLR)];
  const int length = idlr & LengthMask;
  const int shown = std::min(length, Data7 - Data0 + 1);

  TTraceLine line;
  line.id = Hex(Identifier(page[PageIndex(IDHR)], idlr), 3);
  line.dlc = QString::number(length);
  if (idlr & RemoteFrame) {
    line.data = RemoteData();
  } else {
    line.data.reserve(3 * shown);
    for (int i = 0; i < shown; ++i) {
      line.data += Hex(page[PageIndex(Data0) + i], 2);
      line.data += QLatin1Char(' ');
    }
  }
  line.filter = QString::number(AcceptingFilter(page[PageIndex(BCSR)]));
  line.buffer = QString::number(buffer);
  return line;
}
