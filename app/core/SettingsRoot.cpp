#include "SettingsRoot.h"

#include <QFileInfo>

#include <mutex>

namespace {

// Written once under the once_flag, read-only afterwards.
std::once_flag g_keyOnce;
QString g_programKey;

const QString kFallbackKey = QStringLiteral("Vorelan");

}  // namespace

QString TSettingsRoot::programKeyFor(const QString& executablePath) {
  QString name = QFileInfo(executablePath).completeBaseName();
  // An executable named only by an extension (".vorelan") has no base name;
  // an empty key would put the settings into "Orvex/.conf".
  if (name.isEmpty()) return kFallbackKey;
  return name.left(1) + name.mid(1).toLower();
}

void TSettingsRoot::establish(const QString& executablePath) {
  std::call_once(g_keyOnce, [&] { g_programKey = programKeyFor(executablePath); });
}

QString TSettingsRoot::programKey() {
  std::call_once(g_keyOnce, [] {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    g_programKey = programKeyFor(exe);
  });
  return g_programKey;
}
