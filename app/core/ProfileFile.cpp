#include "ProfileFile.h"

#include "WholeFileWriter.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view unquoted(std::string_view s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
    return s.substr(1, s.size() - 2);
  return s;
}

// The value of a key line as a reader sees it (before the length limit):
// after the first '=', trimmed, one pair of quotes taken off.
std::string_view valueOf(std::string_view line) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  return unquoted(trimmed(line.substr(eq + 1)));
}

QString valueToString(std::string_view value) {
  QString text = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
  if (text.size() > TProfileFile::kMaxValueLength) {
    qsizetype cut = TProfileFile::kMaxValueLength;
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

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Where the text of the line starting at `at` ends (its line end, or the end).
qsizetype textEndOf(const QByteArray& data, qsizetype at) {
  const char* d = data.constData();
  while (at < data.size() && d[at] != '\n' && d[at] != '\r') ++at;
  return at;
}

// The length of the line end at `at` (0 at the end of the data).
qsizetype eolLengthAt(const QByteArray& data, qsizetype at) {
  if (at >= data.size()) return 0;
  return data[at] == '\r' && at + 1 < data.size() && data[at + 1] == '\n' ? 2 : 1;
}

}  // namespace

static_assert(TProfileFile::kMaxFileSize <= INT32_MAX, "line offsets are 32-bit");

EProfileFile::EProfileFile(const QString& message) : std::runtime_error(message.toStdString()) {}

TProfileFile::TProfileFile(const QString& path) : path_(path) {
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

std::string TProfileFile::foldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (static_cast<unsigned char>(c) >= 0x80)
      return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toCaseFolded().toStdString();
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string TProfileFile::foldName(const QString& name) {
  std::string folded;
  folded.reserve(static_cast<size_t>(name.size()));
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    if (u >= 0x80) return name.toCaseFolded().toStdString();
    folded += static_cast<char>(u >= 'A' && u <= 'Z' ? u - 'A' + 'a' : u);
  }
  return folded;
}

bool TProfileFile::sameName(std::string_view name, const std::string& folded) {
  for (const char c : name)
    if (static_cast<unsigned char>(c) >= 0x80) return foldName(name) == folded;
  if (name.size() != folded.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
    if (c != folded[i]) return false;
  }
  return true;
}

quint32 TProfileFile::hashName(const std::string& folded) {
  quint32 hash = 2166136261u;  // FNV-1a
  for (const char c : folded) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

quint32 TProfileFile::keyHash(qint32 section, quint32 nameHash) {
  return nameHash ^ (static_cast<quint32>(section) * 0x9E3779B1u + (nameHash << 6) + (nameHash >> 2));
}

template <typename Matches>
qint32 TProfileFile::EntryTable::find(quint32 hash, const Matches& matches) const {
  if (slots_.empty()) return -1;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const qint32 slot = slots_[i];
    if (slot == 0) return -1;
    if (matches(slot - 1)) return slot - 1;
  }
}

template <typename HashOf>
void TProfileFile::EntryTable::add(quint32 hash, qint32 entry, const HashOf& hashOf) {
  if ((count_ + 1) * 4 > static_cast<qsizetype>(slots_.size()) * 3) {
    std::vector<qint32> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, 0);
    for (const qint32 slot : old)
      if (slot) place(hashOf(slot - 1), slot);
  }
  place(hash, entry + 1);
  ++count_;
}

void TProfileFile::EntryTable::place(quint32 hash, qint32 slot) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  while (slots_[i]) i = (i + 1) & mask;
  slots_[i] = slot;
}

std::string_view TProfileFile::lineAt(LineRef line) const {
  if (line < 0) {
    const QByteArray& text = added_[static_cast<std::size_t>(~line)];
    return {text.constData(), static_cast<std::size_t>(text.size())};
  }
  return {data_.constData() + line, static_cast<std::size_t>(textEndOf(data_, line) - line)};
}

std::string_view TProfileFile::sectionNameAt(LineRef line) const {
  std::string_view text = lineAt(line);
  if (line == 0 && text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  text = trimmed(text).substr(1);  // after the '['
  return trimmed(text.substr(0, text.find(']')));
}

std::string_view TProfileFile::keyNameAt(LineRef line) const {
  if (line < 0) {
    const std::string_view text = lineAt(line);
    return trimmed(text.substr(0, text.find('=')));
  }
  // Up to the '=' only: the value need not be scanned.
  const char* d = data_.constData();
  qsizetype end = line;
  while (end < data_.size() && d[end] != '=' && d[end] != '\n' && d[end] != '\r') ++end;
  return trimmed({d + line, static_cast<std::size_t>(end - line)});
}

qint32 TProfileFile::findSection(const std::string& folded, quint32 hash) const {
  return sectionTable_.find(hash, [&](qint32 s) {
    return sections_[s].hash == hash && sameName(sectionNameAt(sections_[s].header), folded);
  });
}

qint32 TProfileFile::findKey(qint32 section, const std::string& folded, quint32 hash) const {
  return keyTable_.find(hash, [&](qint32 k) {
    const Key& key = keys_[k];
    return key.hash == hash && key.section == section && sameName(keyNameAt(key.line), folded);
  });
}

qint32 TProfileFile::addSection(LineRef header, qint32 anchor, quint32 hash) {
  const auto index = static_cast<qint32>(sections_.size());
  sections_.push_back(Section{header, anchor, hash});
  sectionTable_.add(hash, index, [this](qint32 s) { return sections_[s].hash; });
  return index;
}

void TProfileFile::addKey(qint32 section, LineRef line, quint32 hash) {
  const auto index = static_cast<qint32>(keys_.size());
  keys_.push_back(Key{section, line, hash});
  keyTable_.add(hash, index, [this](qint32 k) { return keys_[k].hash; });
}

TProfileFile::LineRef TProfileFile::addLine(const QByteArray& text) {
  added_.push_back(text);
  return ~static_cast<LineRef>(added_.size() - 1);
}

void TProfileFile::parse() {
  const char* d = data_.constData();
  const qsizetype n = data_.size();
  bool styleFound = false;
  qint32 current = -1;  // section that the key lines belong to; -1 before the first or in a duplicate
  for (qsizetype pos = 0; pos < n;) {
    const qsizetype end = textEndOf(data_, pos);
    if (end < n && !styleFound) {
      style_ = d[end] == '\n' ? Eol::Lf : eolLengthAt(data_, end) == 2 ? Eol::CrLf : Eol::Cr;
      styleFound = true;
    }
    const auto start = static_cast<qint32>(pos);
    std::string_view line(d + pos, static_cast<std::size_t>(end - pos));
    pos = end + eolLengthAt(data_, end);

    if (start == 0 && line.starts_with(kUtf8Bom)) line.remove_prefix(kUtf8Bom.size());
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']', 1);
      if (close == std::string_view::npos) continue;
      const std::string folded = foldName(trimmed(line.substr(1, close - 1)));
      const quint32 hash = hashName(folded);
      // Only the first of duplicate sections counts.
      current = findSection(folded, hash) >= 0 ? -1 : addSection(start, start, hash);
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || current < 0) continue;
    const std::string_view key = trimmed(line.substr(0, eq));
    if (key.empty()) continue;
    sections_[current].anchor = start;
    const std::string folded = foldName(key);
    const quint32 hash = keyHash(current, hashName(folded));
    if (findKey(current, folded, hash) < 0) addKey(current, start, hash);  // the first one counts
  }
  sections_.shrink_to_fit();
  keys_.shrink_to_fit();
}

qint32 TProfileFile::sectionIndex(const QString& section) const {
  if (lastSectionIndex_ >= 0 && section == lastSection_) return lastSectionIndex_;
  const std::string folded = foldName(section);
  const qint32 index = findSection(folded, hashName(folded));
  if (index < 0) return -1;
  lastSection_ = section;
  lastSectionIndex_ = index;
  return index;
}

qint32 TProfileFile::keyEntry(const QString& section, const QString& key) const {
  const qint32 index = sectionIndex(section);
  if (index < 0) return -1;
  const std::string folded = foldName(key);
  return findKey(index, folded, keyHash(index, hashName(folded)));
}

QString TProfileFile::readString(const QString& section, const QString& key, const QString& defaultValue) const {
  const qint32 entry = keyEntry(section, key);
  if (entry < 0) return defaultValue;
  return valueToString(valueOf(lineAt(keys_[entry].line)));
}

qint32 TProfileFile::readInt(const QString& section, const QString& key, qint32 defaultValue) const {
  const qint32 entry = keyEntry(section, key);
  if (entry < 0) return defaultValue;
  return parseInt(valueToString(valueOf(lineAt(keys_[entry].line)))).value_or(defaultValue);
}

bool TProfileFile::contains(const QString& section, const QString& key) const {
  return keyEntry(section, key) >= 0;
}

void TProfileFile::writeString(const QString& section, const QString& key, const QString& value) {
  if (section.isEmpty() || hasLineBreak(section) || section.contains(u']') || hasOuterBlanks(section))
    throw EProfileFile(QStringLiteral("A profile file cannot hold the section name \"%1\"").arg(section));
  if (key.isEmpty() || hasLineBreak(key) || key.contains(u'=') || key.startsWith(u'[') || key.startsWith(u';') ||
      hasOuterBlanks(key))
    throw EProfileFile(QStringLiteral("A profile file cannot hold the key name \"%1\"").arg(key));
  if (hasLineBreak(value))
    throw EProfileFile(
        QStringLiteral("A profile file value cannot hold a line break (key \"%1\" in section [%2])").arg(key, section));

  const QByteArray valueBytes = value.toUtf8();
  qint32 index = sectionIndex(section);
  if (index < 0) {
    index = addSection(addLine('[' + section.toUtf8() + ']'), -1, hashName(foldName(section)));
    newSections_.push_back(index);
  }
  const std::string folded = foldName(key);
  const quint32 hash = keyHash(index, hashName(folded));
  const qint32 entry = findKey(index, folded, hash);
  if (entry < 0) {
    const LineRef line = addLine(key.toUtf8() + '=' + encodeValue(valueBytes));
    newKeys_[index].push_back(~line);
    addKey(index, line, hash);
    modified_ = true;
    return;
  }

  const std::string_view old = lineAt(keys_[entry].line);
  if (valueOf(old) == std::string_view(valueBytes.constData(), static_cast<std::size_t>(valueBytes.size())))
    return;  // reads as the new value already: keep the line as it is
  // Keep the key as it is written, the '=' and the blanks after it.
  std::size_t prefix = old.find('=') + 1;
  while (prefix < old.size() && isBlank(old[prefix])) ++prefix;
  QByteArray text = QByteArray(old.data(), static_cast<qsizetype>(prefix)) + encodeValue(valueBytes);
  LineRef& line = keys_[entry].line;
  if (line < 0) {
    added_[static_cast<std::size_t>(~line)] = std::move(text);
  } else {
    const qint32 offset = line;
    line = addLine(text);
    rewritten_.emplace_back(offset, ~line);
  }
  modified_ = true;
}

void TProfileFile::writeInt(const QString& section, const QString& key, qint32 value) {
  writeString(section, key, QString::number(value));
}

QByteArray TProfileFile::contents() const {
  static const QByteArray eolBytes[] = {QByteArray(), QByteArray("\n"), QByteArray("\r\n"), QByteArray("\r")};
  const QByteArray& newEol = eolBytes[static_cast<int>(style_)];
  QByteArray out;
  qsizetype added = 0;
  for (const QByteArray& text : added_) added += text.size() + 2;
  out.reserve(data_.size() + added);

  // Lines of ours, each with the file's line end. A CR right before an empty
  // line that ends in LF would read back as one CR LF, and the empty line would
  // be gone: the last new line there ends in CR LF.
  const auto putLines = [&](const std::vector<qint32>& lines, char following) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      out += added_[static_cast<std::size_t>(lines[i])];
      const bool joins = style_ == Eol::Cr && following == '\n' && i + 1 == lines.size();
      out += joins ? eolBytes[static_cast<int>(Eol::CrLf)] : newEol;
    }
  };

  // The loaded bytes in order, with the rewritten lines replaced and each
  // loaded section's new keys after its anchor line.
  std::vector<std::pair<qint32, qint32>> rewrites = rewritten_;
  std::sort(rewrites.begin(), rewrites.end());
  std::vector<std::pair<qint32, qint32>> inserts;  // anchor offset, section
  for (const auto& [section, lines] : newKeys_)
    if (sections_[section].anchor >= 0) inserts.emplace_back(sections_[section].anchor, section);
  std::sort(inserts.begin(), inserts.end());
  const char* d = data_.constData();
  const qsizetype n = data_.size();
  qsizetype pos = 0;
  for (std::size_t r = 0, i = 0; r < rewrites.size() || i < inserts.size();) {
    if (r < rewrites.size() && (i == inserts.size() || rewrites[r].first <= inserts[i].first)) {
      out.append(d + pos, rewrites[r].first - pos);
      out += added_[static_cast<std::size_t>(rewrites[r].second)];
      pos = textEndOf(data_, rewrites[r].first);
      ++r;
      continue;
    }
    const qsizetype textEnd = textEndOf(data_, inserts[i].first);
    const qsizetype end = textEnd + eolLengthAt(data_, textEnd);
    out.append(d + pos, end - pos);
    pos = end;
    if (end == textEnd) out += newEol;  // a last line without a line end gets one
    putLines(newKeys_.at(inserts[i].second), end < n ? d[end] : '\0');
    ++i;
  }
  out.append(d + pos, n - pos);

  // The sections of ours after the file, each with its keys.
  if (!newSections_.empty() && !out.isEmpty() && out.back() != '\n' && out.back() != '\r') out += newEol;
  for (const qint32 section : newSections_) {
    out += added_[static_cast<std::size_t>(~sections_[section].header)] + newEol;
    if (const auto keys = newKeys_.find(section); keys != newKeys_.end()) putLines(keys->second, '\0');
  }
  return out;
}

void TProfileFile::save() {
  const QString failure = TWholeFileWriter::failureMessage(path_);
  // Never replace a file whose content was not read, nor one we may not write.
  if (!loadError_.isEmpty()) throw EProfileFile(failure);
  if (fileExists_ && !modified_) return;
  if (fileExists_ && !QFileInfo(path_).isWritable()) throw EProfileFile(failure);

  TWholeFileWriter file(path_);
  if (!file.open() || !file.write(contents()) || !file.commit()) throw EProfileFile(failure);
  fileExists_ = true;
  modified_ = false;
}
