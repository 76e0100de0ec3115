// The port map (ports.conf): reading a fuzzed map, and editing it as the port
// dialog does.
//
// Input: the map text, a NUL byte, then edits separated by NUL bytes, each
// "<port>=<device>" with the port in decimal (any int; an empty or blank
// device removes the port's mapping).
//
// Broken when: a line is read as a port below 1 or a device with blanks at its
// ends; an entry line does not read back as written; an edit is refused that
// the format can carry, or taken that it cannot; after an edit a port that was
// set does not read its new device, or another port reads another device; a
// line that maps no edited port lost a byte or changed its line end; editing
// again with the same devices changes anything.
#include <charconv>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "FuzzSupport.h"
#include "PortMapFile.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

struct RawLine {
  std::string_view text;  // without the line end
  std::string_view end;   // "\n", "\r\n" or ""
};

// The lines of a map text as the format defines them: LF ends a line, a CR
// before it belongs to the line end.
std::vector<RawLine> Lines(std::string_view text) {
  std::vector<RawLine> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    if (lf == std::string_view::npos) {
      lines.push_back({text, {}});
      break;
    }
    const std::size_t endStart = lf > 0 && text[lf - 1] == '\r' ? lf - 1 : lf;
    lines.push_back({text.substr(0, endStart), text.substr(endStart, lf + 1 - endStart)});
    text.remove_prefix(lf + 1);
  }
  return lines;
}

// Ports the text and the edits mention, and a few more.
std::set<int> PortsOf(const std::vector<RawLine>& lines, const std::map<int, std::string>& edits) {
  std::set<int> ports{1, 2, 3, 4};
  for (const RawLine& l : lines)
    if (const auto m = portmap::ParseLine(l.text)) ports.insert(m->port);
  for (const auto& [port, device] : edits) ports.insert(port);
  return ports;
}

// A line an edit may have rewritten or dropped: one that maps an edited port.
bool MapsEdited(std::string_view line, const std::map<int, std::string>& edits) {
  const auto m = portmap::ParseLine(line);
  return m && edits.count(m->port);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts = fuzz::Split(fuzz::AsText(data, size), '\0');
  const std::string_view text = parts[0];
  std::map<int, std::string> edits;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::size_t eq = parts[i].find('=');
    if (eq == std::string_view::npos) continue;
    int port = 0;
    const auto [end, ec] = std::from_chars(parts[i].data(), parts[i].data() + eq, port);
    if (ec != std::errc() || end != parts[i].data() + eq) continue;
    edits[port] = std::string(parts[i].substr(eq + 1));
  }

  const std::vector<RawLine> lines = Lines(text);
  for (const RawLine& l : lines) {
    const auto m = portmap::ParseLine(l.text);
    if (!m) continue;
    FUZZ_CHECK(m->port >= 1, "a port number is 1 or more");
    FUZZ_CHECK(m->device == Trim(m->device), "a device is read without the blanks around it");
    if (m->device.find_first_of("\r\n") == std::string_view::npos) {  // a lone CR inside a line is read, never written
      const std::string entry = portmap::EntryLine(m->port, m->device);
      const auto back = portmap::ParseLine(entry);
      FUZZ_CHECK(back && back->port == m->port && back->device == m->device, "an entry line reads back");
    }
  }

  bool writable = true;
  for (const auto& [port, device] : edits)
    if (!Trim(device).empty() && (port < 1 || Trim(device).find_first_of("\r\n") != std::string_view::npos))
      writable = false;
  std::string edited;
  try {
    edited = portmap::WithEntries(text, edits);
  } catch (const std::invalid_argument&) {
    FUZZ_CHECK(!writable, "an edit the format can carry is taken");
    return 0;
  }
  FUZZ_CHECK(writable, "a port below 1 or a device with a line end is refused");

  for (const int port : PortsOf(lines, edits)) {
    const std::string found = portmap::FindEntry(edited, port);
    const auto edit = edits.find(port);
    if (edit != edits.end())
      FUZZ_CHECK(found == Trim(edit->second), "an edited port reads its new device");
    else
      FUZZ_CHECK(found == portmap::FindEntry(text, port), "a port not edited reads what it read before");
  }

  // Line by line: the lines that map no edited port, in order, with their bytes.
  std::vector<RawLine> kept;
  std::set<std::string_view> rewrittenEnds;  // a rewritten line keeps its line end
  for (const RawLine& l : lines) {
    if (!MapsEdited(l.text, edits))
      kept.push_back(l);
    else if (!l.end.empty())
      rewrittenEnds.insert(l.end);
  }
  const std::vector<RawLine> editedLines = Lines(edited);
  std::size_t next = 0;
  const std::string_view newEnd = !lines.empty() && lines[0].end == "\r\n" ? "\r\n" : "\n";
  for (std::size_t i = 0; i < editedLines.size(); ++i) {
    const RawLine& l = editedLines[i];
    if (text.empty() && i == 0) {
      FUZZ_CHECK(l.text == portmap::kNewFileComment, "a new map starts with its comment");
      continue;
    }
    if (MapsEdited(l.text, edits)) {
      FUZZ_CHECK(l.end == newEnd || rewrittenEnds.count(l.end), "a written line ends as the map's first line does");
      continue;
    }
    FUZZ_CHECK(next < kept.size(), "no line appears that no edit concerns");
    const RawLine& old = kept[next++];
    // A last line without a line end gets one (and a CR it ended in then joins that line end).
    const std::string_view end = old.end.empty() ? newEnd : old.end;
    FUZZ_CHECK(std::string(l.text) + std::string(l.end) == std::string(old.text) + std::string(end),
               "a line no edit concerns keeps its bytes and its line end");
  }
  FUZZ_CHECK(next == kept.size(), "every line no edit concerns is still there");
  // (An edit that left nothing starts a new map the next time, with its comment.)
  const std::string again = edited.empty() ? std::string(portmap::kNewFileComment) + "\n" : edited;
  FUZZ_CHECK(portmap::WithEntries(edited, edits) == again, "editing again with the same devices changes nothing");
  return 0;
}
