// What the profile-file fuzz targets share: the names a file's bytes seem to
// hold, the integer reading rule written out independently of TProfileFile,
// and the file on disk that a target loads.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

#include "FuzzSupport.h"

namespace fuzz {

// Section names ("[name]") and key names ("name=") of the lines of `bytes`,
// trimmed, each once, at most `limit` of each. A rough reading of the format:
// only a source of names to look up, never the expected answer.
struct Names {
  QStringList sections;
  QStringList keys;
};

inline Names HarvestNames(const QByteArray& bytes, qsizetype limit = 12) {
  Names names;
  const auto add = [limit](QStringList& list, const QByteArray& name) {
    const QString text = QString::fromUtf8(name.trimmed());
    if (!text.isEmpty() && list.size() < limit && !list.contains(text)) list.append(text);
  };
  QByteArray normalized = bytes;
  normalized.replace('\r', '\n');
  for (const QByteArray& raw : normalized.split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.startsWith('[')) {
      const qsizetype close = line.indexOf(']');
      if (close > 0) add(names.sections, line.mid(1, close - 1));
    } else if (!line.startsWith(';')) {
      const qsizetype eq = line.indexOf('=');
      if (eq > 0) add(names.keys, line.left(eq));
    }
  }
  return names;
}

// The name with its ASCII letters in the other case.
inline QString FlipCase(const QString& name) {
  QString out = name;
  for (QChar& c : out) {
    const char16_t u = c.unicode();
    if (u >= 'a' && u <= 'z')
      c = QChar(char16_t(u - 'a' + 'A'));
    else if (u >= 'A' && u <= 'Z')
      c = QChar(char16_t(u - 'A' + 'a'));
  }
  return out;
}

// An integer value as the profile file promises to read it: decimal with an
// optional sign within 32 bits, or "0x"/"0X" and hexadecimal digits whose
// value fits in 32 bits (taken as the bits of a signed number).
inline std::optional<std::int32_t> ExpectedInt(const QString& text) {
  const auto digitValue = [](QChar c, int base) -> int {
    const char16_t u = c.unicode();
    int v = 99;
    if (u >= '0' && u <= '9')
      v = u - '0';
    else if (u >= 'a' && u <= 'f')
      v = u - 'a' + 10;
    else if (u >= 'A' && u <= 'F')
      v = u - 'A' + 10;
    return v < base ? v : -1;
  };
  const bool hex = text.size() >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
  qsizetype at = hex ? 2 : 0;
  bool negative = false;
  if (!hex && at < text.size() && (text[at] == u'-' || text[at] == u'+')) negative = text[at++] == u'-';
  if (at == text.size()) return std::nullopt;
  const int base = hex ? 16 : 10;
  std::int64_t value = 0;
  for (; at < text.size(); ++at) {
    const int digit = digitValue(text[at], base);
    if (digit < 0) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFLL) return std::nullopt;
  }
  if (hex) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// Replaces the file at `path` with `bytes`.
inline void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the scratch file can be written");
  FUZZ_CHECK(file.write(bytes) == bytes.size(), "the scratch file takes every byte");
}

inline QByteArray ReadFile(const QString& path) {
  QFile file(path);
  FUZZ_CHECK(file.open(QIODevice::ReadOnly), "the saved file can be read");
  return file.readAll();
}

inline QString ScratchFile(const char* name) {
  return QString::fromStdString((ScratchFolder() / name).string());
}

}  // namespace fuzz
