#include "PortMapEditor.h"

#include "AppError.h"
#include "PortMapFile.h"
#include "RegularFile.h"
#include "WholeFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

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
  return QFile::decodeName(QByteArray::fromStdString(portmap::FindEntry(mapText.toLatin1().toStdString(), port)));
}

QString PortMapEditor::withEntries(const QString& mapText, const std::map<int, QString>& devices) {
  std::map<int, std::string> paths;
  // A port whose device is as the map has it keeps its line byte for byte
  // (its spacing, its letter case, a name that is no UTF-8): the dialog hands
  // back every port, changed or not.
  for (const auto& [port, device] : devices)
    if (device != entry(mapText, port)) paths[port] = QFile::encodeName(device).toStdString();
  try {
    return QString::fromLatin1(
        QByteArray::fromStdString(portmap::WithEntries(mapText.toLatin1().toStdString(), paths)));
  } catch (const std::invalid_argument& e) {
    throw EAppError(e.what());
  }
}

QString PortMapEditor::load(const QString& path) {
  std::string error;
  const std::optional<std::string> bytes =
      ReadRegularFile(QFile::encodeName(path).toStdString(), portmap::kMaxFileSize, &error);
  if (!error.empty()) throw EAppError("The port map cannot be read: " + error);
  return bytes ? QString::fromLatin1(QByteArray::fromStdString(*bytes)) : QString();
}

void PortMapEditor::save(const QString& path, const QString& text) {
  const std::string failure = "Unable to write to " + path.toStdString();
  if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath())) throw EAppError(failure);
  TWholeFileWriter file(path);
  if (!file.open() || !file.write(text.toLatin1()) || !file.commit()) throw EAppError(failure);
}

QStringList PortMapEditor::findSerialDevices(const QString& devRoot) {
  const QDir dev(devRoot);
  QStringList devices = sortedEntries(QDir(dev.filePath(QStringLiteral("serial/by-id"))), {QStringLiteral("*")});
  devices += sortedEntries(dev, {QStringLiteral("ttyUSB*")});
  devices += sortedEntries(dev, {QStringLiteral("ttyACM*")});
  devices += sortedEntries(dev, {QStringLiteral("ttyS*")});
  return devices;
}
