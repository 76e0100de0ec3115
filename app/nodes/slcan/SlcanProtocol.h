// The SLCAN protocol as the bridge speaks it on its pseudo-terminal: the
// client's bytes cut into lines, each line read as one command, and the
// lines that carry received frames. Plain C++ without Qt or the board, so
// that it can be fuzzed on its own.
//
// A command is one line ended by CR (0x0D). The bridge answers CR when it
// carried a command out and BEL (0x07) when it refused it; a few commands
// answer a text before the CR ("V0111", "F00", "z" after a frame sent).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Slcan {

constexpr char Ok = '\r';
constexpr char Refusal = '\a';
// The longest command line the bridge takes: a data frame of 8 bytes with its
// identifier, "t7FF81122334455667788" is 21 characters. Anything longer is no command.
constexpr std::size_t MaxLine = 32;

// The rates of S0 to S8, bit/s.
constexpr std::array<int, 9> Bitrates{10000, 20000, 50000, 100000, 125000, 250000, 500000, 800000, 1000000};

// A standard frame, as a command sends it or a line reports it.
struct Frame {
  std::uint16_t id = 0;  // 0 to 0x7FF
  bool remote = false;
  int length = 0;  // 0 to 8: data bytes of a data frame, the length code of a remote one
  std::array<std::uint8_t, 8> data{};

  friend bool operator==(const Frame&, const Frame&) = default;
};

struct Command {
  enum class Kind {
    Empty,           // a line with nothing on it: answered CR, as a flush
    Open,            // O
    ListenOnly,      // L
    Close,           // C
    Bitrate,         // Sn: `number` is the rate in bit/s
    Transmit,        // t, r: `frame`
    Status,          // F
    AcceptanceCode,  // Mxxxxxxxx: `number`
    AcceptanceMask,  // mxxxxxxxx: `number`
    Version,         // V
    Detail,          // v
    SerialNumber,    // N
    Timestamps,      // Z0, Z1: `number` 0 or 1
    Refused,         // anything else: `why`
  };
  Kind kind = Kind::Refused;
  Frame frame;
  std::uint32_t number = 0;
  std::string why;
};

// One line, without its CR. Never throws; any line that is not a command
// the bridge carries out is Refused with the reason.
Command Parse(std::string_view line);

// The line a received frame goes out as: "tIIILDD..." or "rIIIL", with the
// time stamp (ms, 0-59999, four hex digits) when given, and the CR.
std::string FrameLine(const Frame& frame, std::optional<int> timestampMs);

// Cuts the client's bytes into command lines. A line longer than MaxLine is
// reported once, as soon as it grows past it, and the rest of it up to its
// CR is dropped; so is junk that never brings a CR. LF is skipped (a client
// may end its lines with CR LF).
//
// Threads: one (the bridge's, the GUI thread).
class LineReader {
 public:
  struct Input {
    std::string line;
    bool tooLong = false;
  };
  // Appends what `bytes` completes to `inputs`.
  void Feed(std::string_view bytes, std::vector<Input>& inputs);

 private:
  std::string partial_;
  bool dropping_ = false;  // inside a line already reported as too long
};

}  // namespace Slcan
