#include "PortMapEditor.h"

#include "AppError.h"
#include "rs232/PortMapFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <set>
#include <utility>

namespace {

// The port a map line sets, or 0 when the line sets none.
int portOfLine(const QString& line, QString* device = nullptr) {
  const QString trimmed = line.trimmed();
  if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) return 0;
  const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
  if (equals < 0) return 0;
  const QString name = trimmed.left(equals).trimmed();
  if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) return 0;
  const QString digits = name.mid(3);
  bool ok = false;
  const int port = digits.toInt(&ok);
  if (!ok || port <= 0 || digits.startsWith(QLatin1Char('+'))) return 0;
  if (device) *device = trimmed.mid(equals + 1).trimmed();
  return port;
}

QStringList sortedEntries(const QDir& dir, const QStringList& patterns) {
  QStringList names = dir.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
  // By name, then by the number a name ends with: ttyS2 before ttyS10.
  const auto split = [](const QString& name) {
    qsizetype digits = name.size();
    while (digits > 0 && name[digits - 1].isDigit()) --digits;
    return std::make_pair(name.left(digits), name.mid(digits).toULongLong());
  };
  std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) { return split(a) < split(b); });
  QStringList paths;
  for (const QString& name : names) paths.append(dir.filePath(name));
  return paths;
}

}  // namespace

QString PortMapEditor::filePath() {
  return QString::fromStdString(portmap::FilePath());
}

QString PortMapEditor::entry(const QString& mapText, int port) {
  for (const QString& line : mapText.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")))) {
    QString device;
    if (portOfLine(line, &device) == port) return device;
  }
  return QString();
}

QString PortMapEditor::withEntries(const QString& mapText, const std::map<int, QString>& devices) {
  QStringList lines;
  if (!mapText.isEmpty()) {
    lines = mapText.split(QLatin1Char('\n'));
    if (lines.last().isEmpty()) lines.removeLast();  // the final line end
  } else {
    lines.append(QStringLiteral("# written by Vorelan: COM<n>=<device>"));
  }
  std::set<int> placed;
  QStringList result;
  for (const QString& line : lines) {
    const int port = portOfLine(line);
    const auto it = devices.find(port);
    if (port == 0 || it == devices.end()) {
      result.append(line);
      continue;
    }
    if (placed.insert(port).second && !it->second.trimmed().isEmpty())
      result.append(QString::fromStdString(portmap::EntryLine(port, it->second.trimmed().toStdString())));
  }
  for (const auto& [port, device] : devices)
    if (!placed.count(port) && !device.trimmed().isEmpty())
      result.append(QString::fromStdString(portmap::EntryLine(port, device.trimmed().toStdString())));
  return result.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString PortMapEditor::load(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

void PortMapEditor::save(const QString& path, const QString& text) {
  const std::string failure = "Unable to write to " + path.toStdString();
  if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath())) throw EAppError(failure);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) throw EAppError(failure);
}

QStringList PortMapEditor::findSerialDevices(const QString& devRoot) {
  const QDir dev(devRoot);
  QStringList devices = sortedEntries(QDir(dev.filePath(QStringLiteral("serial/by-id"))), {QStringLiteral("*")});
  devices += sortedEntries(dev, {QStringLiteral("ttyUSB*")});
  devices += sortedEntries(dev, {QStringLiteral("ttyACM*")});
  devices += sortedEntries(dev, {QStringLiteral("ttyS*")});
  return devices;
}
