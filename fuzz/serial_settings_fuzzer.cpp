// The serial settings text ("9600,n,8,1") as a user or a stored setting may
// give it, and its translation into a termios line.
//
// Input: the text.
//
// Broken when: a refusal does not say which text it refuses; a text is taken
// whose rate termios cannot set or whose data and stop bits no UART sends;
// the settings taken do not come back from their own text or from the text
// with blanks around its fields; the termios line does not carry them.
#include <termios.h>

#include <string>

#include "FuzzSupport.h"
#include "SerialSettings.h"

namespace {

const char* ParityLetter(Parity p) {
  switch (p) {
    case Parity::None:
      return "n";
    case Parity::Even:
      return "e";
    case Parity::Odd:
      return "o";
    case Parity::Mark:
      return "m";
    case Parity::Space:
      return "s";
  }
  return "?";
}

const char* StopText(StopBits s) {
  switch (s) {
    case StopBits::One:
      return "1";
    case StopBits::OneAndHalf:
      return "1.5";
    case StopBits::Two:
      return "2";
  }
  return "?";
}

bool Same(const SerialSettings& a, const SerialSettings& b) {
  return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits && a.stopBits == b.stopBits;
}

// The text with blanks around every field.
std::string Padded(std::string_view text) {
  std::string out = " \t";
  for (char c : text) out += c == ',' ? std::string(" , ") : std::string(1, c);
  return out + "\t ";
}

void CheckLine(const SerialSettings& s) {
  termios line{};
  ApplyLineSettings(s, 0, &line);
  FUZZ_CHECK(cfgetospeed(&line) == TermiosSpeed(s.baud) && cfgetispeed(&line) == TermiosSpeed(s.baud),
             "the line runs at the rate taken");
  const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  FUZZ_CHECK((line.c_cflag & CSIZE) == sizes[s.dataBits - 5], "the line has the data bits taken");
  FUZZ_CHECK(((line.c_cflag & PARENB) != 0) == (s.parity != Parity::None), "the line has parity when taken");
  FUZZ_CHECK(((line.c_cflag & CSTOPB) != 0) == (s.stopBits != StopBits::One), "the line has the stop bits taken");
  FUZZ_CHECK((line.c_lflag & (ICANON | ECHO | ISIG)) == 0, "the line is raw");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  std::string error = "untouched";
  const std::optional<SerialSettings> settings = ParseSerialSettings(text, &error);
  const std::optional<SerialSettings> padded = ParseSerialSettings(Padded(text), nullptr);
  if (!settings) {
    const std::string start = "The serial settings \"" + std::string(text) + "\" are not valid: ";
    FUZZ_CHECK(error.size() > start.size() && error.compare(0, start.size(), start) == 0,
               "a refusal names the text and says why");
    FUZZ_CHECK(!padded, "blanks around the fields change nothing");
    return 0;
  }
  FUZZ_CHECK(error == "untouched", "a text that is taken leaves the error alone");
  FUZZ_CHECK(padded && Same(*padded, *settings), "blanks around the fields change nothing");
  FUZZ_CHECK(TermiosSpeed(settings->baud) != B0, "a rate taken is one termios sets");
  FUZZ_CHECK(settings->dataBits >= 5 && settings->dataBits <= 8, "5 to 8 data bits");
  FUZZ_CHECK(
      (settings->stopBits == StopBits::OneAndHalf) == (settings->dataBits == 5 && settings->stopBits != StopBits::One),
      "1.5 stop bits go with 5 data bits, and 5 data bits with 1 or 1.5 stop bits");

  const std::string canonical = std::to_string(settings->baud) + "," + ParityLetter(settings->parity) + "," +
                                std::to_string(settings->dataBits) + "," + StopText(settings->stopBits);
  const std::optional<SerialSettings> again = ParseSerialSettings(canonical, nullptr);
  FUZZ_CHECK(again && Same(*again, *settings), "the settings come back from their own text");
  CheckLine(*settings);
  return 0;
}
