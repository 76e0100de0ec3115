#include "ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// A run of bytes inside a line.
struct Span {
  const char* data;
  qsizetype size;

  bool empty() const { return size == 0; }
};

Span trimmed(const char* begin, const char* end) {
  while (begin < end && isBlank(*begin)) ++begin;
  while (end > begin && isBlank(end[-1])) --end;
  return {begin, end - begin};
}

Span unquoted(Span s) {
  if (s.size >= 2 && (s.data[0] == '"' || s.data[0] == '\'') && s.data[s.size - 1] == s.data[0])
    return {s.data + 1, s.size - 2};
  return s;
}

// The value of a key line as a reader sees it (before the length limit):
// after the first '=', trimmed, one pair of quotes taken off.
Span valueOf(const QByteArray& line) {
  const char* begin = line.constData();
  const char* end = begin + line.size();
  const char* eq = static_cast<const char*>(std::memchr(begin, '=', line.size()));
  if (!eq) return {end, 0};
  return unquoted(trimmed(eq + 1, end));
}

QString valueToString(Span value) {
  QString text = QString::fromUtf8(value.data, value.size);
  if (text.size() > ProfileFile::kMaxValueLength) {
    qsizetype cut = ProfileFile::kMaxValueLength;
    if (text.at(cut - 1).isHighSurrogate()) --cut;  // never leave half a character
    text.truncate(cut);
  }
  return text;
}

// The value as written to the file: quoted when blanks at its ends or a pair
// of quotes around it would otherwise be lost on reading.
QByteArray encodeValue(const QByteArray& bytes) {
  if (bytes.isEmpty()) return bytes;
  const char first = bytes.front();
  const char last = bytes.back();
  const bool quoted = bytes.size() >= 2 && (first == '"' || first == '\'') && last == first;
  if (isBlank(first) || isBlank(last) || quoted) return '"' + bytes + '"';
  return bytes;
}

int hexDigit(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<qint32> parseInt(const QString& text) {
  if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    // Digits only, whose value fits in 32 bits (QString::toUInt would also
    // take blanks, a sign, and stop at a NUL character).
    const QStringView digits = QStringView(text).mid(2);
    if (digits.isEmpty()) return std::nullopt;
    quint64 value = 0;
    for (const QChar c : digits) {
      const int digit = hexDigit(c.unicode());
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<quint64>(digit);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<qint32>(static_cast<quint32>(value));
  }
  // Decimal with an optional sign, digits only (QString::toInt would also take blanks).
  const qsizetype firstDigit = (text.startsWith(u'-') || text.startsWith(u'+')) ? 1 : 0;
  if (text.size() == firstDigit) return std::nullopt;
  for (qsizetype i = firstDigit; i < text.size(); ++i)
    if (text.at(i) < u'0' || text.at(i) > u'9') return std::nullopt;
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  return ok ? std::optional<qint32>(value) : std::nullopt;
}

bool hasLineBreak(const QString& text) {
  return text.contains(u'\n') || text.contains(u'\r');
}

bool hasOuterBlanks(const QString& text) {
  return !text.isEmpty() && (isBlank(text.front().toLatin1()) || isBlank(text.back().toLatin1()));
}

const char kUtf8Bom[] = "\xEF\xBB\xBF";

}  // namespace

ProfileFileError::ProfileFileError(const QString& message) : std::runtime_error(message.toStdString()) {}

ProfileFile::ProfileFile(const QString& path) : path_(path) {
  const QFileInfo info(path);
  if (!info.exists()) return;
  fileExists_ = true;
  if (!info.isFile()) {
    loadError_ = QStringLiteral("%1 is not a regular file").arg(path);
    return;
  }
  if (info.size() > kMaxFileSize) {
    loadError_ = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(kMaxFileSize);
    return;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    loadError_ = file.errorString();
    return;
  }
  // Read what the file holds, in pieces (QIODevice::read(n) takes room for n
  // bytes, however few the file has), and at most one byte more than the
  // limit: a file that grows while we read it must not take all memory.
  data_.reserve(static_cast<qsizetype>(std::min<qint64>(info.size(), kMaxFileSize) + 1));
  char piece[64 * 1024];
  while (data_.size() <= kMaxFileSize) {
    const qint64 got = file.read(piece, std::min<qint64>(sizeof piece, kMaxFileSize + 1 - data_.size()));
    if (got <= 0) break;  // the end, or an error (below)
    data_.append(piece, static_cast<qsizetype>(got));
  }
  if (file.error() != QFileDevice::NoError) {
    loadError_ = file.errorString();
    data_.clear();
    return;
  }
  if (data_.size() > kMaxFileSize) {
    loadError_ = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(kMaxFileSize);
    data_.clear();
    return;
  }
  parse();
}

std::string ProfileFile::foldName(const char* data, qsizetype size) {
  std::string folded(data, static_cast<size_t>(size));
  for (char& c : folded) {
    if (static_cast<unsigned char>(c) >= 0x80) return QString::fromUtf8(data, size).toCaseFolded().toStdString();
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string ProfileFile::foldName(const QString& name) {
  std::string folded;
  folded.reserve(static_cast<size_t>(name.size()));
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    if (u >= 0x80) return name.toCaseFolded().toStdString();
    folded += static_cast<char>(u >= 'A' && u <= 'Z' ? u - 'A' + 'a' : u);
  }
  return folded;
}

int ProfileFile::SectionKeys::find(const std::string& foldedKey) const {
  if (hash_) {
    const auto it = hash_->find(foldedKey);
    return it == hash_->end() ? -1 : it->second;
  }
  for (const auto& [name, line] : list_)
    if (name == foldedKey) return line;
  return -1;
}

int ProfileFile::SectionKeys::add(std::string&& foldedKey, int line) {
  if (hash_) return hash_->try_emplace(std::move(foldedKey), line).first->second;
  if (const int known = find(foldedKey); known >= 0) return known;
  list_.emplace_back(std::move(foldedKey), line);
  if (list_.size() > kScanLimit) {
    hash_ = std::make_unique<std::unordered_map<std::string, int>>(list_.begin(), list_.end());
    list_.clear();
    list_.shrink_to_fit();
  }
  return line;
}

void ProfileFile::parse() {
  const char* d = data_.constData();
  const qsizetype n = data_.size();
  bool styleFound = false;
  int current = -1;  // section that the key lines belong to; -1 before the first or in a duplicate

  // Room for every line up front: growing the table while filling it costs
  // more than counting the line ends once.
  const qsizetype lineEnds = std::max(data_.count('\n'), data_.count('\r')) + 1;
  lines_.reserve(static_cast<size_t>(lineEnds));

  for (qsizetype pos = 0; pos < n;) {
    qsizetype end = pos;
    while (end < n && d[end] != '\n' && d[end] != '\r') ++end;
    Eol eol = Eol::None;
    qsizetype next = end;
    if (end < n) {
      if (d[end] == '\n') {
        eol = Eol::Lf;
        next = end + 1;
      } else if (end + 1 < n && d[end + 1] == '\n') {
        eol = Eol::CrLf;
        next = end + 2;
      } else {
        eol = Eol::Cr;
        next = end + 1;
      }
      if (!styleFound) {
        style_ = eol;
        styleFound = true;
      }
    }

    const int index = static_cast<int>(lines_.size());
    lines_.push_back(Line{pos, end - pos, -1, -1, eol});
    if (index > 0) lines_[index - 1].next = index;

    const char* begin = d + pos;
    const char* stop = d + end;
    if (pos == 0 && end >= 3 && std::memcmp(begin, kUtf8Bom, 3) == 0) begin += 3;
    while (begin < stop && isBlank(*begin)) ++begin;
    pos = next;

    if (begin == stop || *begin == ';') continue;
    if (*begin == '[') {
      const char* close = static_cast<const char*>(std::memchr(begin + 1, ']', stop - begin - 1));
      if (!close) continue;
      const Span name = trimmed(begin + 1, close);
      const auto [it, added] =
          sectionIds_.try_emplace(foldName(name.data, name.size), static_cast<int>(sections_.size()));
      if (added) {
        sections_.push_back(Section{index, {}});
        current = it->second;
      } else {
        current = -1;  // only the first of duplicate sections counts
      }
      continue;
    }
    const char* eq = static_cast<const char*>(std::memchr(begin, '=', stop - begin));
    if (!eq || current < 0) continue;
    const Span key = trimmed(begin, eq);
    if (key.empty()) continue;
    sections_[current].keys.add(foldName(key.data, key.size), index);  // the first one counts
    sections_[current].lastLine = index;
  }
  if (!lines_.empty()) {
    head_ = 0;
    tail_ = static_cast<int>(lines_.size()) - 1;
  }
}

QByteArray ProfileFile::lineText(int line) const {
  const Line& l = lines_[line];
  if (l.ownText >= 0) return ownText_[l.ownText];
  return QByteArray::fromRawData(data_.constData() + l.start, l.length);
}

int ProfileFile::sectionIndex(const QString& section) const {
  if (lastSectionIndex_ >= 0 && section == lastSection_) return lastSectionIndex_;
  const auto s = sectionIds_.find(foldName(section));
  if (s == sectionIds_.end()) return -1;
  lastSection_ = section;
  lastSectionIndex_ = s->second;
  return s->second;
}

int ProfileFile::findKeyLine(const QString& section, const QString& key) const {
  const int index = sectionIndex(section);
  if (index < 0) return -1;
  return sections_[index].keys.find(foldName(key));
}

QString ProfileFile::readString(const QString& section, const QString& key, const QString& defaultValue) const {
  const int line = findKeyLine(section, key);
  if (line < 0) return defaultValue;
  return valueToString(valueOf(lineText(line)));
}

qint32 ProfileFile::readInt(const QString& section, const QString& key, qint32 defaultValue) const {
  const int line = findKeyLine(section, key);
  if (line < 0) return defaultValue;
  return parseInt(valueToString(valueOf(lineText(line)))).value_or(defaultValue);
}

bool ProfileFile::contains(const QString& section, const QString& key) const {
  return findKeyLine(section, key) >= 0;
}

int ProfileFile::insertLineAfter(int after, const QByteArray& text) {
  const int index = static_cast<int>(lines_.size());
  ownText_.push_back(text);
  Line line;
  line.ownText = static_cast<int>(ownText_.size()) - 1;
  line.eol = style_;
  if (after < 0) {
    line.next = head_;
    head_ = index;
  } else {
    line.next = lines_[after].next;
    lines_[after].next = index;
  }
  lines_.push_back(line);
  if (after == tail_) tail_ = index;
  return index;
}

void ProfileFile::setLineText(int line, const QByteArray& text) {
  Line& l = lines_[line];
  if (l.ownText >= 0) {
    ownText_[l.ownText] = text;
  } else {
    ownText_.push_back(text);
    l.ownText = static_cast<int>(ownText_.size()) - 1;
  }
}

void ProfileFile::writeString(const QString& section, const QString& key, const QString& value) {
  if (section.isEmpty() || hasLineBreak(section) || section.contains(u']') || hasOuterBlanks(section))
    throw ProfileFileError(QStringLiteral("A profile file cannot hold the section name \"%1\"").arg(section));
  if (key.isEmpty() || hasLineBreak(key) || key.contains(u'=') || key.startsWith(u'[') || key.startsWith(u';') ||
      hasOuterBlanks(key))
    throw ProfileFileError(QStringLiteral("A profile file cannot hold the key name \"%1\"").arg(key));
  if (hasLineBreak(value))
    throw ProfileFileError(
        QStringLiteral("A profile file value cannot hold a line break (key \"%1\" in section [%2])").arg(key, section));

  const QByteArray valueBytes = value.toUtf8();
  int index = sectionIndex(section);
  if (index < 0) {
    index = static_cast<int>(sections_.size());
    sectionIds_.emplace(foldName(section), index);
    sections_.push_back(Section{insertLineAfter(tail_, '[' + section.toUtf8() + ']'), {}});
  }
  Section& sec = sections_[index];
  std::string foldedKey = foldName(key);
  const int keyLine = sec.keys.find(foldedKey);
  if (keyLine < 0) {
    sec.lastLine = insertLineAfter(sec.lastLine, key.toUtf8() + '=' + encodeValue(valueBytes));
    sec.keys.add(std::move(foldedKey), sec.lastLine);
    modified_ = true;
    return;
  }

  const QByteArray old = lineText(keyLine);
  const Span oldValue = valueOf(old);
  if (QByteArray::fromRawData(oldValue.data, oldValue.size) == valueBytes)
    return;  // reads as the new value already: keep the line as it is
  // Keep the key as it is written, the '=' and the blanks after it.
  qsizetype prefix = old.indexOf('=') + 1;
  while (prefix < old.size() && isBlank(old.at(prefix))) ++prefix;
  setLineText(keyLine, old.left(prefix) + encodeValue(valueBytes));
  modified_ = true;
}

void ProfileFile::writeInt(const QString& section, const QString& key, qint32 value) {
  writeString(section, key, QString::number(value));
}

QByteArray ProfileFile::contents() const {
  static const QByteArray eolBytes[] = {QByteArray(), QByteArray("\n"), QByteArray("\r\n"), QByteArray("\r")};
  QByteArray out;
  qsizetype added = 0;
  for (const QByteArray& text : ownText_) added += text.size() + 2;
  out.reserve(data_.size() + added);
  for (int line = head_; line >= 0; line = lines_[line].next) {
    const Line& l = lines_[line];
    if (l.ownText >= 0)
      out += ownText_[l.ownText];
    else
      out.append(data_.constData() + l.start, l.length);
    // A last line without a line end gets one when a line follows it now.
    Eol eol = l.eol != Eol::None ? l.eol : (l.next >= 0 ? style_ : Eol::None);
    // A CR right before an empty line that ends in LF would read back as one
    // CR LF, and the empty line would be gone: a new line there ends in CR LF.
    if (eol == Eol::Cr && l.next >= 0) {
      const Line& n = lines_[l.next];
      if (n.eol == Eol::Lf && (n.ownText >= 0 ? ownText_[n.ownText].size() : n.length) == 0) eol = Eol::CrLf;
    }
    out += eolBytes[static_cast<int>(eol)];
  }
  return out;
}

void ProfileFile::save() {
  const QString failure = QStringLiteral("Unable to write to ") + path_;
  // Never replace a file whose content was not read, nor one we may not write.
  if (!loadError_.isEmpty()) throw ProfileFileError(failure);
  if (fileExists_ && !modified_) return;
  if (fileExists_ && !QFileInfo(path_).isWritable()) throw ProfileFileError(failure);

  // Writes a temporary file beside it and renames it over the file.
  // Unbuffered, so that a short write (a full disk) fails here: QSaveFile's
  // commit() does not see a failure of its buffer's flush and would rename a
  // cut-off file over the earlier one.
  QSaveFile file(path_);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) throw ProfileFileError(failure);
  const QByteArray bytes = contents();
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    throw ProfileFileError(failure);
  }
  if (!file.commit()) throw ProfileFileError(failure);
  fileExists_ = true;
  modified_ = false;
}
