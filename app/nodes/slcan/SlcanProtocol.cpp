#include "SlcanProtocol.h"

#include <cstdio>

namespace Slcan {

namespace {

std::optional<std::uint32_t> Hex(std::string_view digits) {
  std::uint32_t value = 0;
  for (const char c : digits) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

Command Refused(std::string why) {
  Command command;
  command.why = std::move(why);
  return command;
}

Command Simple(Command::Kind kind, std::string_view line) {
  if (line.size() != 1) return Refused("'" + std::string(1, line[0]) + "' takes no argument");
  Command command;
  command.kind = kind;
  return command;
}

// "tIIIL" + 2 L hex digits, or "rIIIL".
Command FrameCommand(std::string_view line) {
  const bool remote = line[0] == 'r';
  if (line.size() < 5) return Refused("a frame needs an identifier of 3 hex digits and a length");
  const std::optional<std::uint32_t> id = Hex(line.substr(1, 3));
  if (!id || *id > 0x7FF) return Refused("the identifier must be 3 hex digits, 000 to 7FF");
  if (line[4] < '0' || line[4] > '8') return Refused("the length must be 0 to 8");
  Command command;
  command.kind = Command::Kind::Transmit;
  command.frame.id = static_cast<std::uint16_t>(*id);
  command.frame.remote = remote;
  command.frame.length = line[4] - '0';
  const std::size_t digits = remote ? 0 : 2 * static_cast<std::size_t>(command.frame.length);
  if (line.size() != 5 + digits)
    return Refused(remote ? "a remote frame carries no data"
                          : "the data must be two hex digits per byte of the length");
  for (std::size_t k = 0; k < digits / 2; ++k) {
    const std::optional<std::uint32_t> byte = Hex(line.substr(5 + 2 * k, 2));
    if (!byte) return Refused("the data must be hex digits");
    command.frame.data[k] = static_cast<std::uint8_t>(*byte);
  }
  return command;
}

}  // namespace

Command Parse(std::string_view line) {
  using Kind = Command::Kind;
  if (line.empty()) return Command{Kind::Empty, {}, 0, {}};
  switch (line[0]) {
    case 'O':
      return Simple(Kind::Open, line);
    case 'L':
      return Simple(Kind::ListenOnly, line);
    case 'C':
      return Simple(Kind::Close, line);
    case 'F':
      return Simple(Kind::Status, line);
    case 'V':
      return Simple(Kind::Version, line);
    case 'v':
      return Simple(Kind::Detail, line);
    case 'N':
      return Simple(Kind::SerialNumber, line);
    case 'S':
      if (line.size() != 2 || line[1] < '0' || line[1] > '8') return Refused("the rates are S0 to S8");
      return Command{Kind::Bitrate, {}, static_cast<std::uint32_t>(Bitrates[std::size_t(line[1] - '0')]), {}};
    case 's':
      return Refused("register values of another controller (sxxyy) are not taken: choose the rate with S0 to S8");
    case 't':
    case 'r':
      return FrameCommand(line);
    case 'T':
    case 'R':
      return Refused("the cell has 11-bit identifiers only: no 29-bit frame");
    case 'M':
    case 'm': {
      const std::optional<std::uint32_t> value = line.size() == 9 ? Hex(line.substr(1)) : std::nullopt;
      if (!value) return Refused("the acceptance code and mask are 8 hex digits");
      return Command{line[0] == 'M' ? Kind::AcceptanceCode : Kind::AcceptanceMask, {}, *value, {}};
    }
    case 'Z':
      if (line.size() != 2 || (line[1] != '0' && line[1] != '1')) return Refused("time stamps are Z0 or Z1");
      return Command{Kind::Timestamps, {}, static_cast<std::uint32_t>(line[1] - '0'), {}};
    default:
      return Refused("no such command");
  }
}

std::string FrameLine(const Frame& frame, std::optional<int> timestampMs) {
  char text[40];
  int n = std::snprintf(text, sizeof text, "%c%03X%d", frame.remote ? 'r' : 't', frame.id & 0x7FF, frame.length);
  if (!frame.remote)
    for (int k = 0; k < frame.length && k < 8; ++k)
      n += std::snprintf(text + n, sizeof text - std::size_t(n), "%02X", frame.data[std::size_t(k)]);
  if (timestampMs) n += std::snprintf(text + n, sizeof text - std::size_t(n), "%04X", *timestampMs % 60000);
  return std::string(text, std::size_t(n)) + Ok;
}

void LineReader::Feed(std::string_view bytes, std::vector<Input>& inputs) {
  for (const char c : bytes) {
    if (c == '\n') continue;
    if (c == '\r') {
      if (!dropping_) inputs.push_back({partial_, false});
      partial_.clear();
      dropping_ = false;
      continue;
    }
    if (dropping_) continue;
    if (partial_.size() == MaxLine) {
      inputs.push_back({{}, true});
      partial_.clear();
      dropping_ = true;
      continue;
    }
    partial_ += c;
  }
}

}  // namespace Slcan
