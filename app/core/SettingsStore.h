#pragma once

#include <QSettings>
#include <QString>

#include <optional>

// One key of the program's settings ("Communication", "FormPositions/TraceFrm",
// "Trace", ...) below the settings root, with typed values like a registry key:
// an integer value stays an integer and a string value stays a string.
//
// QSettings' native format on Linux is an INI file that keeps no types, so the
// type travels in the stored text, in the notation of registry exports:
//   an integer is stored as "dword:" followed by 8 hexadecimal digits
//   (two's complement: -4 is "dword:fffffffc");
//   a string is stored as it is, unless it starts with "dword:" or "sz:", in which
//   case "sz:" is put in front of it so that it can never pass for an integer.
// QSettings quotes a string with commas, so "9600,n,8,1" stays one string.
//
// A plain decimal written by hand ("Enabled=1", "Period=3") reads as an
// integer too; the program itself always writes the "dword:" form. A typed
// read of a missing value, or of a value of the other type, gives no value
// (std::nullopt), so a reader can stop at the first one it cannot use.
// Writes are buffered by QSettings and reach the file at sync() or destruction;
// a failing write is reported only by sync(), which also finds a write that
// QSettings took for done but that lost its end (a full disk) and then puts
// the previous file back.
//
// A run may keep its changes in memory (keepChangesInMemory): every object
// then reads what this process wrote before, and otherwise the file, and the
// file is never written. `vorelan --simulate` runs so, leaving the user's
// stored settings byte for byte as they were.
//
// Threads: an object is used by one thread at a time. Objects in different
// threads may share the file (QSettings locks it while it syncs; syncs of this
// process take turns under a lock of their own) and the changes kept in
// memory (guarded by a lock of their own).
class TSettingsStore {
 public:
  // Opens <settings root>/<keyPath>; keyPath uses "/" between levels. Nothing
  // is created on disk until a value is written.
  explicit TSettingsStore(const QString& keyPath);

  TSettingsStore(const TSettingsStore&) = delete;
  TSettingsStore& operator=(const TSettingsStore&) = delete;

  QString keyPath() const { return keyPath_; }

  std::optional<qint32> readInt(const QString& name) const;
  std::optional<QString> readString(const QString& name) const;
  // A boolean is an integer: 0 is false, anything else true.
  std::optional<bool> readBool(const QString& name) const;

  void writeInt(const QString& name, qint32 value);
  void writeString(const QString& name, const QString& value);
  void writeBool(const QString& name, bool value);  // stored as the integer 0 or 1

  bool contains(const QString& name) const;
  void remove(const QString& name);

  // Writes pending changes to the file; false when the file cannot be written
  // or read (its status is then QSettings::AccessError or FormatError), or
  // when it does not read back with every value: the previous file (or none)
  // is then put back, and "Unable to write to <file>" goes to the standard
  // error output.
  bool sync();

  // The file that holds every key of the program's settings.
  static QString filePath();

  // From now on (true) this process's changes stay in memory and the file is
  // left as it is; false forgets them and writes to the file again.
  static void keepChangesInMemory(bool keep);
  static bool changesKeptInMemory();

 private:
  // The stored text of a value: what this process kept in memory, else the file's.
  std::optional<QString> storedText(const QString& name) const;
  // Whether the file, read afresh, holds every value the settings hold.
  bool readsBackWhole() const;
  void store(const QString& name, const QString& text);
  QString fullKey(const QString& name) const { return keyPath_ + QLatin1Char('/') + name; }

  mutable QSettings settings_;
  QString keyPath_;
};
