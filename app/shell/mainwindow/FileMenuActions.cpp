#include "FileMenuActions.h"

#include "AppError.h"
#include "FileDialogs.h"
#include "ToolWindow.h"

#include <QAction>
#include <QFileInfo>
#include <QStatusBar>

TFileMenuActions::TFileMenuActions(TMainFrm& mainFrm, const TMainFrm::Options& options)
    : mainFrm_(mainFrm), options_(options) {}

void TFileMenuActions::loadRegisters() {
  if (!options_.registerLoad || busy_) return;
  const QString path = mainFrm_.chooseFile(FileDialogs::openRegisters());
  if (!path.isEmpty()) run(options_.registerLoad, path);
}

void TFileMenuActions::saveRegisters() {
  if (!options_.registerSave || busy_) return;
  const QString path = mainFrm_.chooseFile(FileDialogs::saveRegisters());
  if (!path.isEmpty()) run(options_.registerSave, path);
}

void TFileMenuActions::run(const TMainFrm::RegisterFileAction& action, const QString& path) {
  setBusy(true);
  try {
    action(mainFrm_, path, [this] { setBusy(false); });
  } catch (...) {
    setBusy(false);
    throw;
  }
}

void TFileMenuActions::setBusy(bool busy) {
  busy_ = busy;
  mainFrm_.action(QStringLiteral("RegLoad"))->setEnabled(!busy && options_.registerLoad);
  mainFrm_.action(QStringLiteral("RegSave"))->setEnabled(!busy && options_.registerSave);
  if (busy)
    mainFrm_.statusBar()->setCursor(Qt::BusyCursor);
  else
    mainFrm_.statusBar()->unsetCursor();
}

void TFileMenuActions::openFile(const QString& path) {
  const QString suffix = QFileInfo(path).suffix();
  if (!QFileInfo::exists(path))
    throw EAppError(QStringLiteral("Unable to open %1: no such file").arg(path).toStdString());
  const auto is = [&](const QString& pattern) { return pattern.compare("*." + suffix, Qt::CaseInsensitive) == 0; };
  if (options_.registerLoad && is(FileDialogs::firstPattern(FileDialogs::registerFilter()))) {
    if (busy_)
      throw EAppError(
          QStringLiteral("%1 not loaded: another register file is being loaded or saved").arg(path).toStdString());
    run(options_.registerLoad, path);
    return;
  }
  for (const TToolWindowEntry& window : options_.toolWindows)
    for (const TFileMenuEntry& entry : window.fileEntries) {
      TToolWindow* tool = mainFrm_.toolWindow(window.componentName);
      if (entry.dialog.mode != TFileDialogSpec::Mode::Open || !is(FileDialogs::firstPattern(entry.dialog.filter)) ||
          !tool || !tool->HandlesFileEntry(entry.objectName))
        continue;
      mainFrm_.showToolWindow(window.componentName);
      tool->RunFileEntry(entry.objectName, path);
      return;
    }
  throw EAppError(QStringLiteral("Unable to open %1: Vorelan opens register files (.rgr) and trace files (.trc)")
                      .arg(path)
                      .toStdString());
}

QStringList TFileMenuActions::openFiles(const QStringList& paths) {
  QStringList failures;
  for (const QString& path : paths) {
    try {
      openFile(path);
    } catch (const std::exception& e) {
      failures << QString::fromUtf8(e.what());
    }
  }
  if (!failures.isEmpty()) mainFrm_.ShowError(failures.join(QStringLiteral("; ")));
  return failures;
}

void TFileMenuActions::runToolEntry(const TToolWindowEntry& window, const TFileMenuEntry& entry) {
  TToolWindow* tool = mainFrm_.toolWindow(window.componentName);
  if (!tool || !tool->HandlesFileEntry(entry.objectName)) return;
  const QString path = mainFrm_.chooseFile(entry.dialog);
  if (!path.isEmpty()) tool->RunFileEntry(entry.objectName, path);
}
