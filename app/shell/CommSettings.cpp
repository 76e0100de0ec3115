#include "CommSettings.h"

#include "SettingsStore.h"

namespace {

QString stringOrEmpty(const SettingsStore& key, const QString& name) {
  // A value of the other type counts as missing: a hand-edited integer must not
  // stop the reading of the values after it.
  return key.readString(name).value_or(QString());
}

}  // namespace

TCommSettings TCommSettings::read() {
  const SettingsStore key(keyPath());
  TCommSettings result;
  result.port = stringOrEmpty(key, QStringLiteral("Port"));
  result.settings = stringOrEmpty(key, QStringLiteral("Settings"));
  result.timeOut = stringOrEmpty(key, QStringLiteral("TimeOut"));
  if (result.timeOut.isEmpty()) result.timeOut = defaultTimeOut();
  return result;
}

bool TCommSettings::write() const {
  SettingsStore key(keyPath());
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

std::optional<int> CommChoice::portForText(const QString& port) {
  if (port == QLatin1String("1")) return 1;
  if (port == QLatin1String("2")) return 2;
  if (port == QLatin1String("3")) return 3;
  return std::nullopt;
}

std::optional<int> CommChoice::speedForText(const QString& settings) {
  const QStringView head = QStringView(settings).left(2);
  if (head == QLatin1String("48")) return 4800;
  if (head == QLatin1String("96")) return 9600;
  if (head == QLatin1String("19")) return 19200;
  return std::nullopt;
}

QString CommChoice::portTextToSave(std::optional<int> checkedPort) {
  if (checkedPort == 1) return QStringLiteral("1");
  if (checkedPort == 2) return QStringLiteral("2");
  if (checkedPort == 3) return QStringLiteral("3");
  return QString();
}

QString CommChoice::settingsForSpeed(int bitsPerSecond) {
  return QString::number(bitsPerSecond) + QStringLiteral(",n,8,1");
}

std::optional<int> CommChoice::speedOfSettings(const QString& settings) {
  const QString first = settings.section(QLatin1Char(','), 0, 0);
  bool ok = false;
  const int speed = first.toInt(&ok);
  if (!ok || speed <= 0 || first.startsWith(QLatin1Char('+')) || first.trimmed() != first) return std::nullopt;
  return speed;
}
