#pragma once

#include <QString>

// The root of the program's stored settings: organisation "Orvex", application =
// the program key. The program key is the executable's file name without
// directory and extension, with every character after the first in lower case
// ("VORELAN" and "Vorelan" both give "Vorelan"). It is fixed once, before any
// window exists, and never changes afterwards.
//
// Threads: establish() runs in the main thread before any other thread starts;
// programKey() may then be called from any thread (the key never changes).
class TSettingsRoot {
 public:
  static QString organisation() { return QStringLiteral("Orvex"); }

  // The program key for an executable path; pure, for tests and for establish().
  static QString programKeyFor(const QString& executablePath);

  // Fixes the program key from the executable path (argv[0]). Only the first
  // call counts, so a later call cannot move the settings of a running program.
  static void establish(const QString& executablePath);

  // The program key. If establish() was never called (test programs), it is
  // fixed now from /proc/self/exe.
  static QString programKey();
};
