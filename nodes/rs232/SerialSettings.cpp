#include "SerialSettings.h"

#include <array>
#include <cctype>
#include <vector>

namespace {

struct Rate {
  std::uint32_t baud;
  speed_t speed;
};
constexpr std::array kRates{
    Rate{50, B50},           Rate{75, B75},           Rate{110, B110},         Rate{134, B134},
    Rate{150, B150},         Rate{200, B200},         Rate{300, B300},         Rate{600, B600},
    Rate{1200, B1200},       Rate{1800, B1800},       Rate{2400, B2400},       Rate{4800, B4800},
    Rate{9600, B9600},       Rate{19200, B19200},     Rate{38400, B38400},     Rate{57600, B57600},
    Rate{115200, B115200},   Rate{230400, B230400},   Rate{460800, B460800},   Rate{500000, B500000},
    Rate{576000, B576000},   Rate{921600, B921600},   Rate{1000000, B1000000}, Rate{1152000, B1152000},
    Rate{1500000, B1500000}, Rate{2000000, B2000000}, Rate{2500000, B2500000}, Rate{3000000, B3000000},
    Rate{3500000, B3500000}, Rate{4000000, B4000000}};

constexpr const char* kForm =
    "\"<baud>,<parity n|e|o|m|s>,<data bits 5-8>,<stop bits 1|1.5|2>\", for example \"9600,n,8,1\"";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = text.find(',');
    fields.push_back(Trim(text.substr(0, comma)));
    if (comma == std::string_view::npos) return fields;
    text.remove_prefix(comma + 1);
  }
}

bool AllDigits(std::string_view text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string SupportedRates() {
  std::string list;
  for (const Rate& rate : kRates) list += (list.empty() ? "" : ", ") + std::to_string(rate.baud);
  return list;
}

bool Refuse(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

}  // namespace

speed_t TermiosSpeed(std::uint32_t baud) {
  for (const Rate& rate : kRates)
    if (rate.baud == baud) return rate.speed;
  return B0;
}

std::optional<SerialSettings> ParseSerialSettings(std::string_view text, std::string* error) {
  std::string quoted(1, '"');
  quoted.append(text).push_back('"');
  const auto fail = [&](std::string why) -> std::optional<SerialSettings> {
    Refuse(error, "The serial settings " + quoted + " are not valid: " + why);
    return std::nullopt;
  };
  if (Trim(text).empty()) return fail(std::string("the text is empty. Expected ") + kForm + ".");
  const std::vector<std::string_view> fields = SplitFields(text);
  if (fields.size() != 4) return fail(std::string("expected four fields separated by commas, ") + kForm + ".");

  SerialSettings settings;
  if (!AllDigits(fields[0])) return fail("the baud rate \"" + std::string(fields[0]) + "\" is not a number.");
  settings.baud = static_cast<std::uint32_t>(std::stoul(std::string(fields[0])));
  if (TermiosSpeed(settings.baud) == B0)
    return fail("the baud rate " + std::to_string(settings.baud) +
                " is not supported. Supported rates: " + SupportedRates() + ".");

  const std::string_view parity = fields[1];
  if (parity.size() != 1) return fail("the parity \"" + std::string(parity) + "\" is not one of n, e, o, m, s.");
  switch (std::tolower(static_cast<unsigned char>(parity[0]))) {
    case 'n':
      settings.parity = Parity::None;
      break;
    case 'e':
      settings.parity = Parity::Even;
      break;
    case 'o':
      settings.parity = Parity::Odd;
      break;
    case 'm':
      settings.parity = Parity::Mark;
      break;
    case 's':
      settings.parity = Parity::Space;
      break;
    default:
      return fail("the parity \"" + std::string(parity) + "\" is not one of n, e, o, m, s.");
  }

  const std::string_view data = fields[2];
  if (data.size() != 1 || data[0] < '5' || data[0] > '8')
    return fail("the data bits \"" + std::string(data) + "\" must be 5, 6, 7 or 8.");
  settings.dataBits = data[0] - '0';

  const std::string_view stop = fields[3];
  if (stop == "1")
    settings.stopBits = StopBits::One;
  else if (stop == "1.5")
    settings.stopBits = StopBits::OneAndHalf;
  else if (stop == "2")
    settings.stopBits = StopBits::Two;
  else
    return fail("the stop bits \"" + std::string(stop) + "\" must be 1, 1.5 or 2.");
  // A UART sends 1.5 stop bits only with 5-bit characters, where the "two
  // stop bits" setting means 1.5.
  if (settings.stopBits == StopBits::OneAndHalf && settings.dataBits != 5)
    return fail("1.5 stop bits need 5 data bits.");
  if (settings.stopBits == StopBits::Two && settings.dataBits == 5)
    return fail("2 stop bits need 6, 7 or 8 data bits (5 data bits go with 1 or 1.5 stop bits).");
  return settings;
}

void ApplyLineSettings(const SerialSettings& settings, int flowControl, termios* line) {
  cfmakeraw(line);
  line->c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK);
  line->c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  line->c_cflag |= CLOCAL | CREAD;
  switch (settings.dataBits) {
    case 5:
      line->c_cflag |= CS5;
      break;
    case 6:
      line->c_cflag |= CS6;
      break;
    case 7:
      line->c_cflag |= CS7;
      break;
    default:
      line->c_cflag |= CS8;
      break;
  }
  switch (settings.parity) {
    case Parity::None:
      break;
    case Parity::Even:
      line->c_cflag |= PARENB;
      break;
    case Parity::Odd:
      line->c_cflag |= PARENB | PARODD;
      break;
    case Parity::Mark:
      line->c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case Parity::Space:
      line->c_cflag |= PARENB | CMSPAR;
      break;
  }
  if (settings.stopBits != StopBits::One) line->c_cflag |= CSTOPB;
  if (flowControl & 1) line->c_iflag |= IXON | IXOFF;
  if (flowControl & 2) line->c_cflag |= CRTSCTS;
  line->c_cc[VMIN] = 1;
  line->c_cc[VTIME] = 0;
  const speed_t speed = TermiosSpeed(settings.baud);
  cfsetispeed(line, speed);
  cfsetospeed(line, speed);
}
