// Helpers of the shell's tests for the program's stored settings: wiped,
// preset with communication settings, and read back.
#pragma once

#include "CommSettings.h"
#include "SettingsRoot.h"
#include "SettingsStore.h"

#include <QSettings>
#include <QString>

namespace shelltest {

inline void wipeSettings() {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, TSettingsRoot::organisation(),
                     TSettingsRoot::programKey());
  settings.clear();
  settings.sync();
}

inline void storeComm(const QString& port, const QString& serialSettings, const QString& timeOut) {
  TCommSettings comm;
  comm.port = port;
  comm.settings = serialSettings;
  comm.timeOut = timeOut;
  comm.write();
}

inline QString storedString(const QString& key, const QString& name) {
  return TSettingsStore(key).readString(name).value_or(QStringLiteral("<missing>"));
}

}  // namespace shelltest
