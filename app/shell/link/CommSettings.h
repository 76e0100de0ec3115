#pragma once

#include <QString>

#include "LinkSettings.h"

// The communication settings kept under "Communication": the checked port entry
// ("1", "2" or "3"), the serial node's "Settings" text ("9600,n,8,1") and the
// protocol node's "TimeOut" text in milliseconds. All three are strings.
//
// Threads: GUI thread (it reads and writes the program's settings).
struct TCommSettings : TLinkSettings {
  static QString keyPath() { return QStringLiteral("Communication"); }

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
