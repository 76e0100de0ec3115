// Trace files (.trc): loading a fuzzed file, and saving a fuzzed trace into it
// as the main window does (the file's other content kept), then loading again.
//
// Input: the file's bytes, a NUL byte, then trace lines separated by NUL bytes:
//   <id>|<dlc>|<data>|<filter>|<buffer>   a line of five cells, as text
//   !<17 bytes>                           the line that receive buffer (last byte % 3 + 1)
//                                         makes of a page image (the first 16 bytes)
//
// Broken when: loading makes other than the count's number of lines; a line made
// from a page image is not in the trace's cell format; a cell the file can
// hold is refused or one it cannot hold is taken; the saved trace does not
// load as written; lines of an older, longer trace beyond the new count change.
#include <QRegularExpression>

#include <algorithm>
#include <array>

#include "ProfileFile.h"
#include "ProfileFuzzSupport.h"
#include "TraceFile.h"

namespace {

constexpr std::size_t kMaxLines = 64;
constexpr int kMaxCount = 4096;

QString Text(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

TTraceLine FromPage(std::string_view bytes) {
  std::array<std::uint8_t, CanReg::PageSize> page{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), page.size()), page.begin());
  const int buffer = bytes.size() > page.size() ? static_cast<std::uint8_t>(bytes[page.size()]) % 3 + 1 : 1;
  const TTraceLine line = TTraceLine::FromBufferPage(page, buffer);

  static const QRegularExpression id(QStringLiteral("^[0-7][0-9A-F]{2}$"));
  static const QRegularExpression data(QStringLiteral("^([0-9A-F]{2} ){0,8}$"));
  FUZZ_CHECK(id.match(line.id).hasMatch(), "an identifier is three hexadecimal digits up to 7FF");
  bool ok = false;
  const int dlc = line.dlc.toInt(&ok);
  FUZZ_CHECK(ok && dlc >= 0 && dlc <= 15, "the data length code is 0 to 15");
  if (page[CanReg::PageIndex(CanReg::IDLR)] & CanReg::RemoteFrame)
    FUZZ_CHECK(line.data == TTraceLine::RemoteData(), "a remote frame's data says R");
  else
    FUZZ_CHECK(data.match(line.data).hasMatch() && line.data.size() == 3 * std::min(dlc, 8),
               "the data shows at most eight bytes, as many as the length code says");
  FUZZ_CHECK(line.buffer == QString::number(buffer), "the buffer is the one read");
  return line;
}

bool HasLineBreak(const TTraceLine& l) {
  for (const QString* cell : {&l.id, &l.dlc, &l.data, &l.filter, &l.buffer})
    if (cell->contains(u'\n') || cell->contains(u'\r')) return true;
  return false;
}

QString AsRead(const QString& cell) {
  if (cell.size() <= TProfileFile::kMaxValueLength) return cell;
  qsizetype cut = TProfileFile::kMaxValueLength;
  if (cell.at(cut - 1).isHighSurrogate()) --cut;
  return cell.left(cut);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QString path = fuzz::ScratchFile("trace.trc");
  const std::vector<std::string_view> parts = fuzz::Split(fuzz::AsText(data, size), '\0');
  const QByteArray original(parts[0].data(), static_cast<qsizetype>(parts[0].size()));
  fuzz::WriteFile(path, original);

  const TProfileFile before(path);
  // A count of thousands of lines (a damaged count is honoured up to 65536)
  // costs a run tens of milliseconds and teaches the fuzzer nothing new: the
  // trace file's unit tests load such files.
  const int count = before.readInt(QStringLiteral("General"), QStringLiteral("NbLines"), 0);
  if (count > kMaxCount) return 0;
  const std::vector<TTraceLine> old = TraceFile::Read(before, {}).lines;
  FUZZ_CHECK(old.size() == static_cast<std::size_t>(std::max(count, 0)), "a trace has as many lines as its count says");

  std::vector<TTraceLine> trace;
  bool breaks = false;
  for (std::size_t i = 1; i < parts.size() && trace.size() < kMaxLines; ++i) {
    const std::string_view part = parts[i];
    if (!part.empty() && part[0] == '!') {
      trace.push_back(FromPage(part.substr(1)));
      continue;
    }
    std::vector<std::string_view> cells = fuzz::Split(part, '|');
    cells.resize(5);
    trace.push_back(TTraceLine{Text(cells[0]), Text(cells[1]), Text(cells[2]), Text(cells[3]), Text(cells[4])});
    breaks = breaks || HasLineBreak(trace.back());
  }

  TProfileFile file(path);
  try {
    TraceFile::Write(trace, {}, file);
  } catch (const EProfileFile&) {
    FUZZ_CHECK(breaks, "a trace without line breaks in its cells is written");
    return 0;
  }
  FUZZ_CHECK(!breaks, "a cell with a line break is refused");
  file.save();

  const TProfileFile after(path);
  std::vector<TTraceLine> expected = trace;
  for (TTraceLine& l : expected)
    for (QString* cell : {&l.id, &l.dlc, &l.data, &l.filter, &l.buffer}) *cell = AsRead(*cell);
  FUZZ_CHECK(TraceFile::Read(after, {}).lines == expected, "a saved trace loads as it was written");

  // The sections of an older, longer trace beyond the new count stay as they were.
  const std::size_t n = trace.size();
  for (std::size_t k = n + 1; k <= std::min(old.size(), n + 8); ++k) {
    const QString section = TraceFile::LineSection(static_cast<int>(k));
    for (const char* key : {"ID", "DLC", "Data", "Filter", "Buffer"})
      FUZZ_CHECK(after.readString(section, QLatin1String(key), QStringLiteral("\n")) ==
                     before.readString(section, QLatin1String(key), QStringLiteral("\n")),
                 "a line beyond the new count is left alone");
  }
  return 0;
}
