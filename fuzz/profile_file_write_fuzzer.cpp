// The profile-file writer: a fuzzed file, a fuzzed sequence of key writes,
// save, and the file loaded again.
//
// Input: the file's bytes, a NUL byte, then write operations separated by NUL
// bytes. An operation is a code and three fields separated by '|':
//   s<section>|<key>|<value>    writeString
//   i<section>|<key>|<decimal>  writeInt (the number taken modulo 2^32)
//   S..., I...                  the same with the names' ASCII letters in the other case
// A name "#<digit>" stands for a section or key name that the file holds.
//
// Broken when: a write is refused that the format can hold, or accepted that
// it cannot, or a refused write changes the file; a saved file differs from
// contents(); a written value does not read back (cut at kMaxValueLength); a
// key that was not written reads differently; a line that no write concerns
// lost or changed a byte or its line end; a new line does not take the file's
// line-end style.
#include <QMap>
#include <QSet>
#include <QString>

#include <charconv>
#include <utility>

#include "ProfileFile.h"
#include "ProfileFuzzSupport.h"

namespace {

enum class Eol { None, Lf, CrLf, Cr };

struct Line {
  QByteArray text;
  Eol eol;
};

// The lines of a file by the reading rules: LF, CR LF or CR ends a line.
std::vector<Line> SplitLines(const QByteArray& bytes) {
  std::vector<Line> lines;
  qsizetype pos = 0;
  while (pos < bytes.size()) {
    qsizetype end = pos;
    while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
    Eol eol = Eol::None;
    qsizetype next = end;
    if (end < bytes.size()) {
      if (bytes[end] == '\n') {
        eol = Eol::Lf, next = end + 1;
      } else if (end + 1 < bytes.size() && bytes[end + 1] == '\n') {
        eol = Eol::CrLf, next = end + 2;
      } else {
        eol = Eol::Cr, next = end + 1;
      }
    }
    lines.push_back({bytes.mid(pos, end - pos), eol});
    pos = next;
  }
  return lines;
}

bool IsBlank(QChar c) {
  return c == u' ' || c == u'\t';
}

bool HasLineBreak(const QString& s) {
  return s.contains(u'\n') || s.contains(u'\r');
}

bool HasOuterBlanks(const QString& s) {
  return !s.isEmpty() && (IsBlank(s.front()) || IsBlank(s.back()));
}

// Whether the format can hold the write, by the rules TProfileFile states.
bool Writable(const QString& section, const QString& key, const QString& value) {
  if (section.isEmpty() || HasLineBreak(section) || section.contains(u']') || HasOuterBlanks(section)) return false;
  if (key.isEmpty() || HasLineBreak(key) || key.contains(u'=') || key.startsWith(u'[') || key.startsWith(u';') ||
      HasOuterBlanks(key))
    return false;
  return !HasLineBreak(value);
}

// A value as a reader gets it back.
QString AsRead(const QString& value) {
  if (value.size() <= TProfileFile::kMaxValueLength) return value;
  qsizetype cut = TProfileFile::kMaxValueLength;
  if (value.at(cut - 1).isHighSurrogate()) --cut;
  return value.left(cut);
}

QString Folded(const QByteArray& name) {
  return QString::fromUtf8(name).toCaseFolded();
}

QByteArray TrimBlanks(QByteArray s) {
  while (!s.isEmpty() && (s.front() == ' ' || s.front() == '\t')) s.remove(0, 1);
  while (!s.isEmpty() && (s.back() == ' ' || s.back() == '\t')) s.chop(1);
  return s;
}

struct Written {
  QString section;
  QString key;
  QString value;
};

// Lines that a write may have touched: a section header of a written section,
// a key line of a written key name (in any section). Everything else must
// come through unchanged.
bool Concerned(const QByteArray& lineText, bool firstLine, const QSet<QString>& sections, const QSet<QString>& keys) {
  QByteArray text = lineText;
  if (firstLine && text.startsWith("\xEF\xBB\xBF")) text.remove(0, 3);
  text = TrimBlanks(text);
  if (text.startsWith('[')) {
    const qsizetype close = text.indexOf(']');
    return close > 0 && sections.contains(Folded(TrimBlanks(text.mid(1, close - 1))));
  }
  const qsizetype eq = text.indexOf('=');
  return eq > 0 && keys.contains(Folded(TrimBlanks(text.left(eq))));
}

QString NameOf(std::string_view field, const QStringList& known, bool flip) {
  QString name;
  if (field.size() == 2 && field[0] == '#' && field[1] >= '0' && field[1] <= '9' && !known.isEmpty())
    name = known[(field[1] - '0') % known.size()];
  else
    name = QString::fromUtf8(field.data(), static_cast<qsizetype>(field.size()));
  return flip ? fuzz::FlipCase(name) : name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QString path = fuzz::ScratchFile("write.ini");
  const std::vector<std::string_view> parts = fuzz::Split(fuzz::AsText(data, size), '\0');
  const QByteArray original(parts[0].data(), static_cast<qsizetype>(parts[0].size()));
  fuzz::WriteFile(path, original);
  const TProfileFile before(path);
  TProfileFile file(path);
  const fuzz::Names names = fuzz::HarvestNames(original);

  QMap<std::pair<QString, QString>, Written> written;  // by folded section and key
  QSet<QString> writtenSections, writtenKeys;          // folded
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string_view op = parts[i];
    if (op.empty()) continue;
    const std::vector<std::string_view> fields = fuzz::Split(op.substr(1), '|');
    if (fields.size() < 3) continue;
    const char code = op[0];
    const bool flip = code == 'S' || code == 'I';
    const QString section = NameOf(fields[0], names.sections, flip);
    const QString key = NameOf(fields[1], names.keys, flip);
    // The value is everything after the second '|'.
    const std::string_view valueField = op.substr(1 + fields[0].size() + 1 + fields[1].size() + 1);
    QString value;
    const QByteArray contentsBefore = file.contents();
    try {
      if (code == 'i' || code == 'I') {
        long long number = static_cast<long long>(valueField.size());
        std::from_chars(valueField.data(), valueField.data() + valueField.size(), number);
        const auto n = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
        value = QString::number(n);
        file.writeInt(section, key, n);
      } else if (code == 's' || code == 'S') {
        value = QString::fromUtf8(valueField.data(), static_cast<qsizetype>(valueField.size()));
        file.writeString(section, key, value);
      } else {
        continue;
      }
    } catch (const EProfileFile&) {
      FUZZ_CHECK(!Writable(section, key, value), "a write the format can hold is taken");
      FUZZ_CHECK(file.contents() == contentsBefore, "a refused write changes nothing");
      continue;
    }
    FUZZ_CHECK(Writable(section, key, value), "a write the format cannot hold is refused");
    const QString s = section.toCaseFolded(), k = key.toCaseFolded();
    written[{s, k}] = Written{section, key, value};
    writtenSections.insert(s);
    writtenKeys.insert(k);
  }

  const QByteArray contents = file.contents();
  if (!file.isModified()) FUZZ_CHECK(contents == original, "an unmodified file is unchanged");
  file.save();
  FUZZ_CHECK(!file.isModified(), "a saved file is not modified");
  FUZZ_CHECK(fuzz::ReadFile(path) == contents, "save() writes contents()");
  const TProfileFile after(path);
  FUZZ_CHECK(after.contents() == contents, "the saved file loads as saved");

  static const QString kDefault = QStringLiteral("\n(default)");
  for (const Written& w : written)
    FUZZ_CHECK(after.readString(w.section, w.key, kDefault) == AsRead(w.value), "a written value reads back");
  for (const QString& section : names.sections)
    for (const QString& key : names.keys)
      if (!written.contains({section.toCaseFolded(), key.toCaseFolded()}))
        FUZZ_CHECK(after.readString(section, key, kDefault) == before.readString(section, key, kDefault),
                   "a key that was not written keeps its value");

  // Line by line: the lines no write concerns, in order, with their bytes and line ends.
  const std::vector<Line> oldLines = SplitLines(original);
  const std::vector<Line> newLines = SplitLines(contents);
  FUZZ_CHECK(newLines.size() >= oldLines.size(), "no line is lost");
  FUZZ_CHECK(newLines.size() - oldLines.size() <= static_cast<std::size_t>(writtenSections.size() + written.size()),
             "a line is added only for a new section or key");
  Eol style = Eol::Lf;
  for (const Line& l : oldLines)
    if (l.eol != Eol::None) {
      style = l.eol;
      break;
    }
  QSet<int> touchedEols{static_cast<int>(style)};
  std::vector<std::pair<const Line*, bool>> keptOld;  // with whether it is the file's last line
  for (std::size_t i = 0; i < oldLines.size(); ++i) {
    if (Concerned(oldLines[i].text, i == 0, writtenSections, writtenKeys))
      touchedEols.insert(static_cast<int>(oldLines[i].eol));
    else
      keptOld.push_back({&oldLines[i], i + 1 == oldLines.size()});
  }
  std::size_t next = 0;
  for (std::size_t i = 0; i < newLines.size(); ++i) {
    const Line& l = newLines[i];
    if (Concerned(l.text, i == 0, writtenSections, writtenKeys)) {
      // (A lone CR right before an empty LF line would join its LF: CR LF there.)
      const bool beforeEmptyLf = i + 1 < newLines.size() && newLines[i + 1].text.isEmpty() &&
                                 newLines[i + 1].eol == Eol::Lf && style == Eol::Cr && l.eol == Eol::CrLf;
      FUZZ_CHECK(touchedEols.contains(static_cast<int>(l.eol)) || beforeEmptyLf ||
                     (l.eol == Eol::None && i + 1 == newLines.size()),
                 "a written line ends in the file's style or keeps its line end");
      continue;
    }
    FUZZ_CHECK(next < keptOld.size(), "no line appears that no write concerns");
    const auto [old, last] = keptOld[next++];
    FUZZ_CHECK(l.text == old->text, "a line no write concerns keeps its bytes");
    FUZZ_CHECK(l.eol == old->eol || (last && old->eol == Eol::None && l.eol == style),
               "a line no write concerns keeps its line end");
  }
  FUZZ_CHECK(next == keptOld.size(), "every line no write concerns is still there");
  return 0;
}
