// The SLCAN side of vorelan-slcan (SlcanProtocol.h): whatever a client writes
// on the pseudo-terminal, in whatever pieces.
//
// Input: the first byte chooses where the rest is cut in two; the rest is
// what the client writes, the two pieces one after the other.
//
// Broken when: the lines depend on how the bytes were cut; a line is longer
// than MaxLine or holds a CR; there are more lines than CRs and overflows;
// a frame command's identifier or length is out of range, or its frame does
// not write back as the line it came from; a refusal gives no reason.
#include <cctype>
#include <vector>

#include "FuzzSupport.h"
#include "SlcanProtocol.h"

using namespace Slcan;

namespace {

std::vector<LineReader::Input> Lines(std::string_view first, std::string_view second) {
  LineReader reader;
  std::vector<LineReader::Input> inputs;
  reader.Feed(first, inputs);
  reader.Feed(second, inputs);
  return inputs;
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes = fuzz::AsText(data + 1, size - 1);
  const std::size_t cut = bytes.empty() ? 0 : data[0] % (bytes.size() + 1);
  const std::vector<LineReader::Input> inputs = Lines(bytes.substr(0, cut), bytes.substr(cut));
  const std::vector<LineReader::Input> whole = Lines(bytes, {});
  FUZZ_CHECK(inputs.size() == whole.size(), "the lines do not depend on the pieces");

  std::size_t crs = 0, overflows = 0;
  for (const char c : bytes) crs += c == '\r';
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const LineReader::Input& input = inputs[i];
    FUZZ_CHECK(input.line == whole[i].line && input.tooLong == whole[i].tooLong, "the same lines either way");
    FUZZ_CHECK(input.line.size() <= MaxLine, "a line is at most MaxLine long");
    FUZZ_CHECK(input.line.find('\r') == std::string::npos, "a line holds no CR");
    overflows += input.tooLong;
    if (input.tooLong) continue;

    const Command command = Parse(input.line);
    if (command.kind == Command::Kind::Refused) FUZZ_CHECK(!command.why.empty(), "a refusal says why");
    if (command.kind == Command::Kind::Transmit) {
      FUZZ_CHECK(command.frame.id <= 0x7FF, "an 11-bit identifier");
      FUZZ_CHECK(command.frame.length >= 0 && command.frame.length <= 8, "a length of 0 to 8");
      FUZZ_CHECK(FrameLine(command.frame, std::nullopt) == input.line.substr(0, 1) + Upper(input.line.substr(1)) + "\r",
                 "a frame writes back as its line");
    }
  }
  FUZZ_CHECK(inputs.size() <= crs + overflows, "no line without a CR or an overflow");
  return 0;
}
