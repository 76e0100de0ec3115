#include "CommSettings.h"

#include "SettingsStore.h"

namespace {

QString stringOrEmpty(const TSettingsStore& key, const QString& name) {
  // A value of the other type counts as missing: a hand-edited integer must not
  // stop the reading of the values after it.
  return key.readString(name).value_or(QString());
}

}  // namespace

TCommSettings TCommSettings::read() {
  const TSettingsStore key(keyPath());
  TCommSettings result;
  result.port = stringOrEmpty(key, QStringLiteral("Port"));
  result.settings = stringOrEmpty(key, QStringLiteral("Settings"));
  result.timeOut = stringOrEmpty(key, QStringLiteral("TimeOut"));
  if (result.timeOut.isEmpty()) result.timeOut = defaultTimeOut();
  return result;
}

bool TCommSettings::write() const {
  TSettingsStore key(keyPath());
  key.writeString(QStringLiteral("Port"), port);
  key.writeString(QStringLiteral("Settings"), settings);
  key.writeString(QStringLiteral("TimeOut"), timeOut);
  return key.sync();
}

TCommSettings TCommSettings::forSimulatedBoard() const {
  TCommSettings simulated = *this;
  simulated.port = QStringLiteral("1");
  if (!CommChoice::speedOfSettings(settings)) simulated.settings = CommChoice::settingsForSpeed(19200);
  return simulated;
}
