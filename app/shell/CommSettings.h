#pragma once

#include <QString>

#include <optional>

// The communication settings kept under "Communication": the checked port entry
// ("1", "2" or "3"), the serial node's "Settings" text ("9600,n,8,1") and the
// protocol node's "TimeOut" text in milliseconds. All three are strings.
//
// Threads: GUI thread (it reads and writes the program's settings).
struct TCommSettings {
  static QString keyPath() { return QStringLiteral("Communication"); }
  static QString defaultTimeOut() { return QStringLiteral("1000"); }

  QString port;
  QString settings;
  QString timeOut;

  // Reads the key without creating it. A missing value, or one stored as an
  // integer, reads as the empty string; an empty "TimeOut" becomes "1000".
  static TCommSettings read();
  // Writes the three strings. False when the settings file cannot be written
  // (the caller ignores it, as every settings failure at close).
  bool write() const;

  // The settings of a run on the simulated board, which COM1 leads to: port
  // "1", and 19200 bit/s when these settings name no speed.
  TCommSettings forSimulatedBoard() const;

  bool operator==(const TCommSettings&) const = default;
};

// Which menu entries the stored texts check. Exact, case-sensitive comparisons.
namespace CommChoice {

// "1" -> 1, "2" -> 2, "3" -> 3; anything else (empty included) checks no port.
std::optional<int> portForText(const QString& port);
// The first two characters of the settings text: "48" -> 4800, "96" -> 9600,
// "19" -> 19200; anything else checks no speed.
std::optional<int> speedForText(const QString& settings);
// The "Port" value saved at close: the checked port, or the empty string when
// none is checked, so that the next start opens no port nobody chose (the
// empty text, like a missing value, gives the serial node no usable port).
QString portTextToSave(std::optional<int> checkedPort);
// The serial node's "Settings" text of a speed entry: "19200,n,8,1".
QString settingsForSpeed(int bitsPerSecond);
// The bits per second a settings text starts with, when it starts with a
// positive decimal number followed by a comma or the end ("115200,n,8,1" -> 115200).
std::optional<int> speedOfSettings(const QString& settings);

}  // namespace CommChoice
