#include "PortMapFile.h"

#include <climits>
#include <set>
#include <stdexcept>

namespace portmap {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The port number of a name "COM<n>" (any letter case), or 0.
int PortOfName(std::string_view name) {
  if (name.size() < 4) return 0;
  for (std::size_t i = 0; i < 3; ++i)
    if ((name[i] | 0x20) != "com"[i]) return 0;
  int value = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9' || value > (INT_MAX - (c - '0')) / 10) return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

// A line of a map text as written: its text without the line end, and the line end.
struct RawLine {
  std::string_view text;
  std::string_view end;  // "\n", "\r\n", or "" for a last line without one
};

// Splits at LF; a CR right before the LF belongs to the line end. An empty
// text has no lines, and a text ending in a line end has no empty last line.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    if (lf == std::string_view::npos) {
      visit(RawLine{text, {}});
      return;
    }
    const std::size_t endStart = lf > 0 && text[lf - 1] == '\r' ? lf - 1 : lf;
    visit(RawLine{text.substr(0, endStart), text.substr(endStart, lf + 1 - endStart)});
    text.remove_prefix(lf + 1);
  }
}

}  // namespace

std::optional<Mapping> ParseLine(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == '#') return std::nullopt;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const int port = PortOfName(Trim(line.substr(0, equals)));
  if (port < 1) return std::nullopt;
  return Mapping{port, Trim(line.substr(equals + 1))};
}

std::string EntryLine(int portNumber, std::string_view devicePath) {
  if (portNumber < 1) throw std::invalid_argument("No port COM" + std::to_string(portNumber));
  devicePath = Trim(devicePath);
  if (devicePath.find_first_of("\r\n") != std::string_view::npos)
    throw std::invalid_argument("A device path in the port map cannot hold a line end");
  return "COM" + std::to_string(portNumber) + "=" + std::string(devicePath);
}

std::string FindEntry(std::string_view mapText, int portNumber) {
  std::string device;
  ForEachLine(mapText, [&](const RawLine& line) {
    if (!device.empty()) return;
    const std::optional<Mapping> mapping = ParseLine(line.text);
    if (mapping && mapping->port == portNumber) device = mapping->device;
  });
  return device;
}

std::string WithEntries(std::string_view mapText, const std::map<int, std::string>& devices) {
  // The new lines first, so that a device the format cannot carry changes nothing.
  std::map<int, std::string> lines;
  for (const auto& [port, device] : devices)
    lines[port] = Trim(device).empty() ? std::string() : EntryLine(port, device);

  std::string_view newLineEnd = "\n";
  std::string result;
  if (mapText.empty()) result = std::string(kNewFileComment) + "\n";
  bool first = true;
  std::set<int> placed;
  ForEachLine(mapText, [&](const RawLine& line) {
    if (first && line.end == "\r\n") newLineEnd = line.end;
    first = false;
    const std::string_view end = line.end.empty() ? newLineEnd : line.end;
    const std::optional<Mapping> mapping = ParseLine(line.text);
    const auto chosen = mapping ? lines.find(mapping->port) : lines.end();
    if (chosen == lines.end()) {
      result.append(line.text).append(end);
    } else if (placed.insert(chosen->first).second && !chosen->second.empty()) {
      result.append(chosen->second).append(end);
    }
  });
  for (const auto& [port, line] : lines)
    if (!placed.count(port) && !line.empty()) result.append(line).append(newLineEnd);
  return result;
}

}  // namespace portmap
