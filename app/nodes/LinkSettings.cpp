#include "LinkSettings.h"

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
