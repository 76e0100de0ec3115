#include "SettingsStore.h"

#include "SettingsRoot.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <limits>

#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>

namespace {

const QString kIntegerTag = QStringLiteral("dword:");
const QString kStringTag = QStringLiteral("sz:");

// The changes of a run that keeps them in memory, by full key; a removed value
// is kept as nothing. Guarded by g_memoryLock.
std::mutex g_memoryLock;
bool g_keepInMemory = false;
std::map<QString, std::optional<QString>> g_memory;

// Held through a sync, so that no thread's sync puts back the previous file
// over another's write.
std::mutex g_syncLock;

// The stored text of a value, or nothing when the value is missing or is not
// text. A list comes only from a hand-edited value with unquoted commas; it is
// joined back, since no value of ours is a list.
std::optional<QString> fileText(const QSettings& settings, const QString& name) {
  const QVariant value = settings.value(name);
  switch (value.typeId()) {
    case QMetaType::QString:
      return value.toString();
    case QMetaType::QStringList:
      return value.toStringList().join(QLatin1Char(','));
    default:
      return std::nullopt;  // missing, or a typed QSettings value (@ByteArray, @Variant...)
  }
}

std::optional<qint32> parseInteger(const QString& text) {
  if (!text.startsWith(kIntegerTag)) {
    // A plain decimal, as a person writes one by hand ("Period=3").
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]{1,10}$"));
    if (!decimal.match(text).hasMatch()) return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
      return std::nullopt;
    return static_cast<qint32>(value);
  }
  const QStringView digits = QStringView(text).mid(kIntegerTag.size());
  if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
  bool ok = false;
  const uint value = digits.toUInt(&ok, 16);
  if (!ok) return std::nullopt;
  return static_cast<qint32>(value);
}

}  // namespace

TSettingsStore::TSettingsStore(const QString& keyPath)
    : settings_(QSettings::NativeFormat, QSettings::UserScope, TSettingsRoot::organisation(),
                TSettingsRoot::programKey()),
      keyPath_(keyPath) {
  // Only the user's own settings count, as under the current user's registry
  // hive: no organisation-wide or system-wide fallback files.
  settings_.setFallbacksEnabled(false);
  settings_.beginGroup(keyPath);
}

std::optional<QString> TSettingsStore::storedText(const QString& name) const {
  {
    std::lock_guard<std::mutex> guard(g_memoryLock);
    if (g_keepInMemory)
      if (const auto kept = g_memory.find(fullKey(name)); kept != g_memory.end()) return kept->second;
  }
  return fileText(settings_, name);
}

void TSettingsStore::store(const QString& name, const QString& text) {
  {
    std::lock_guard<std::mutex> guard(g_memoryLock);
    if (g_keepInMemory) {
      g_memory[fullKey(name)] = text;
      return;
    }
  }
  settings_.setValue(name, text);
}

std::optional<qint32> TSettingsStore::readInt(const QString& name) const {
  const std::optional<QString> text = storedText(name);
  if (!text) return std::nullopt;
  return parseInteger(*text);
}

std::optional<QString> TSettingsStore::readString(const QString& name) const {
  std::optional<QString> text = storedText(name);
  if (!text) return std::nullopt;
  if (text->startsWith(kStringTag)) return text->mid(kStringTag.size());
  if (text->startsWith(kIntegerTag)) return std::nullopt;  // an integer value
  return text;
}

std::optional<bool> TSettingsStore::readBool(const QString& name) const {
  const std::optional<qint32> value = readInt(name);
  if (!value) return std::nullopt;
  return *value != 0;
}

void TSettingsStore::writeInt(const QString& name, qint32 value) {
  store(name, kIntegerTag + QStringLiteral("%1").arg(static_cast<quint32>(value), 8, 16, QLatin1Char('0')));
}

void TSettingsStore::writeString(const QString& name, const QString& value) {
  if (value.startsWith(kIntegerTag) || value.startsWith(kStringTag))
    store(name, kStringTag + value);
  else
    store(name, value);
}

void TSettingsStore::writeBool(const QString& name, bool value) {
  writeInt(name, value ? 1 : 0);
}

bool TSettingsStore::contains(const QString& name) const {
  {
    std::lock_guard<std::mutex> guard(g_memoryLock);
    if (g_keepInMemory)
      if (const auto kept = g_memory.find(fullKey(name)); kept != g_memory.end()) return kept->second.has_value();
  }
  return settings_.contains(name);
}

void TSettingsStore::remove(const QString& name) {
  {
    std::lock_guard<std::mutex> guard(g_memoryLock);
    if (g_keepInMemory) {
      g_memory[fullKey(name)] = std::nullopt;
      return;
    }
  }
  settings_.remove(name);
}

bool TSettingsStore::sync() {
  {
    std::lock_guard<std::mutex> guard(g_memoryLock);
    if (g_keepInMemory) return true;  // nothing goes to the file
  }
  std::lock_guard<std::mutex> guard(g_syncLock);
  const QByteArray file = QFile::encodeName(settings_.fileName());
  // A second name for the file as it is, to put it back if the write fails:
  // a hard link needs no room on a full disk.
  const QByteArray previous = file + ".previous";
  ::unlink(previous.constData());
  const bool hadFile = ::link(file.constData(), previous.constData()) == 0;
  settings_.sync();
  const bool written = settings_.status() == QSettings::NoError && readsBackWhole();
  if (written) {
    if (hadFile) ::unlink(previous.constData());
    return true;
  }
  hadFile ? ::rename(previous.constData(), file.constData()) : ::unlink(file.constData());
  // The callers at the program's end have no window left to say it in.
  qWarning("Unable to write to %s: the settings are as they were before", file.constData());
  return false;
}

bool TSettingsStore::readsBackWhole() const {
  // QSettings' buffered write may lose its end without a word (a full disk):
  // the file read afresh, through a name no QSettings has cached, must hold
  // every value that the settings hold now.
  const QString file = settings_.fileName();
  static std::atomic<int> checks{0};
  const QString check = file + QStringLiteral(".check-%1-%2").arg(QCoreApplication::applicationPid()).arg(++checks);
  if (!QFile::exists(file)) return true;  // nothing was written, and nothing needed to be
  if (::link(QFile::encodeName(file).constData(), QFile::encodeName(check).constData()) != 0) return false;
  bool whole = true;
  {
    const QSettings written(check, QSettings::IniFormat);
    QSettings current(settings_.format(), settings_.scope(), settings_.organizationName(), settings_.applicationName());
    current.setFallbacksEnabled(false);
    const QStringList keys = current.allKeys();
    whole = written.status() == QSettings::NoError && written.allKeys().size() == keys.size();
    for (qsizetype i = 0; whole && i < keys.size(); ++i) whole = written.value(keys[i]) == current.value(keys[i]);
  }
  QFile::remove(check);
  return whole;
}

void TSettingsStore::keepChangesInMemory(bool keep) {
  std::lock_guard<std::mutex> guard(g_memoryLock);
  g_keepInMemory = keep;
  g_memory.clear();
}

bool TSettingsStore::changesKeptInMemory() {
  std::lock_guard<std::mutex> guard(g_memoryLock);
  return g_keepInMemory;
}

QString TSettingsStore::filePath() {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, TSettingsRoot::organisation(),
                     TSettingsRoot::programKey());
  return settings.fileName();
}
