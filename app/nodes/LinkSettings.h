#pragma once

#include <QString>

#include <optional>

// What the link to the board is started with: the port ("1", "2" or "3"),
// the serial node's "Settings" text ("9600,n,8,1") and the protocol node's
// "TimeOut" text in milliseconds, each handed to its node as it stands. Where
// they are kept is the program's business (TCommSettings in the shell stores
// them; vorelan-slcan takes them from its command line).
struct TLinkSettings {
  static QString defaultTimeOut() { return QStringLiteral("1000"); }

  QString port;
  QString settings;
  QString timeOut;

  bool operator==(const TLinkSettings&) const = default;
};

// Which menu entries the texts check, and the texts of a choice. Exact,
// case-sensitive comparisons.
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
