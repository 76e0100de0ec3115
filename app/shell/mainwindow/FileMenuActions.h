#pragma once

#include <QString>
#include <QStringList>

#include "MainFrm.h"

struct TFileMenuEntry;
struct TToolWindowEntry;

// What the main window's File menu does with files: the register file
// entries ("Load Register values", "Save Register values"), which are greyed
// and put the busy cursor over the status bar while their job runs; the
// entries the tool windows bring; and the files named on the command line,
// each opened as its entry opens it, without the dialog.
//
// Threads: GUI thread only; a register file's job ends in the GUI thread.
class TFileMenuActions {
 public:
  // `mainFrm` owns this object and the options.
  TFileMenuActions(TMainFrm& mainFrm, const TMainFrm::Options& options);

  void loadRegisters();  // the dialog, then the load
  void saveRegisters();  // the dialog, then the save
  // A File menu entry of a tool window: its dialog, then its handler.
  void runToolEntry(const TToolWindowEntry& window, const TFileMenuEntry& entry);
  // TMainFrm::openFiles.
  QStringList openFiles(const QStringList& paths);

  bool busy() const { return busy_; }
  // Greys the register file entries while busy and shows the busy cursor.
  void setBusy(bool busy);

 private:
  // One file of openFiles(); throws its message.
  void openFile(const QString& path);
  // Runs a register file action; busy until its job is done.
  void run(const TMainFrm::RegisterFileAction& action, const QString& path);

  TMainFrm& mainFrm_;
  const TMainFrm::Options& options_;
  bool busy_ = false;
};
