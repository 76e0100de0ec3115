#include "CandumpLine.h"

#include <cstdio>

namespace Candump {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  return -1;
}

std::optional<int> Identifier(const QString& text) {
  if (text.isEmpty() || text.size() > 3) return std::nullopt;
  int id = 0;
  for (QChar c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    id = id * 16 + digit;
  }
  if (id > 0x7FF) return std::nullopt;
  return id;
}

std::optional<int> LengthCode(const QString& text) {
  if (text.isEmpty() || text.size() > 2) return std::nullopt;
  int dlc = 0;
  for (QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    dlc = dlc * 10 + (c.unicode() - '0');
  }
  if (dlc > 15) return std::nullopt;
  return dlc;
}

// Hexadecimal pairs separated by blanks, at most 8; the count in `count`.
bool DataBytes(const QString& text, std::array<std::uint8_t, 8>& bytes, int& count) {
  count = 0;
  const qsizetype size = text.size();
  qsizetype i = 0;
  while (i < size) {
    if (text[i] == QLatin1Char(' ')) {
      ++i;
      continue;
    }
    if (count == 8 || i + 1 >= size) return false;
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    if (i + 2 < size && text[i + 2] != QLatin1Char(' ')) return false;  // a pair stands alone
    bytes[static_cast<std::size_t>(count++)] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
  }
  return true;
}

}  // namespace

std::optional<Frame> FrameOf(const TTraceLine& line, bool remote) {
  const std::optional<int> id = Identifier(line.id);
  const std::optional<int> dlc = LengthCode(line.dlc);
  if (!id || !dlc) return std::nullopt;
  Frame frame;
  frame.id = static_cast<std::uint16_t>(*id);
  frame.remote = remote;
  frame.dlc = *dlc;
  if (remote) return frame;
  if (!DataBytes(line.data, frame.data, frame.dataCount)) return std::nullopt;
  if (frame.dataCount != std::min(frame.dlc, 8)) return std::nullopt;
  return frame;
}

void AppendLine(std::string& out, std::chrono::system_clock::time_point listed, const Frame& frame) {
  using namespace std::chrono;
  long long micros = duration_cast<microseconds>(listed.time_since_epoch()).count();
  if (micros < 0) micros = 0;
  char stamp[48];
  const int stampLength = std::snprintf(stamp, sizeof stamp, "(%010lld.%06lld) ", micros / 1000000, micros % 1000000);
  out.append(stamp, static_cast<std::size_t>(stampLength));
  out += Interface;
  out += ' ';
  out += kHex[(frame.id >> 8) & 0x7];
  out += kHex[(frame.id >> 4) & 0xF];
  out += kHex[frame.id & 0xF];
  out += '#';
  if (frame.remote) {
    out += 'R';
    if (frame.dlc > 8) {
      out += "8_";
      out += kHex[frame.dlc];
    } else if (frame.dlc > 0) {
      out += kHex[frame.dlc];
    }
  } else {
    for (int k = 0; k < frame.dataCount; ++k) {
      const std::uint8_t byte = frame.data[static_cast<std::size_t>(k)];
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
    if (frame.dlc > 8) {
      out += '_';
      out += kHex[frame.dlc];
    }
  }
  out += '\n';
}

}  // namespace Candump
