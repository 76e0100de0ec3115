// The serial settings text, "<baud>,<parity n|e|o|m|s>,<data bits 5-8>,<stop bits 1|1.5|2>",
// and its translation into a termios line configuration.
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct SerialSettings {
  std::uint32_t baud = 9600;
  Parity parity = Parity::None;
  int dataBits = 8;
  StopBits stopBits = StopBits::One;
};

// Parses a settings text. Blanks around the fields and the letter case of the
// parity are ignored. On failure returns nothing and `error` says what is wrong
// and what the text should look like.
std::optional<SerialSettings> ParseSerialSettings(std::string_view text, std::string* error);

// The termios speed constant of a baud rate, or B0 when termios has none.
speed_t TermiosSpeed(std::uint32_t baud);

// Raw mode (no echo, no translation, no signals) with these settings and a
// flow control mode (0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both). Reads return as
// soon as one byte is there (VMIN 1), so that with O_NONBLOCK a read of 0
// bytes means hang-up and "nothing waiting" is EAGAIN.
void ApplyLineSettings(const SerialSettings& settings, int flowControl, termios* line);
