#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <map>

class ProfileFile;
class TMainFrm;
class TRegPosSavedFrm;

// The tool windows the program is built with, and the file actions that
// belong to them. The main window creates the windows in the fixed creation
// order, skipping those the program has no factory for; their Windows-menu
// entries (and the trace and register file entries of the File menu) stay
// greyed until the window or action exists. A window arrives by adding its
// factory here, in the program's main():
//
//   ToolWindowCatalog catalog;
//   catalog.addWindow("RegFrm", [](TMainFrm& main) { return new TRegFrm(main); });
//
// A factory builds the window (a QWidget, or a QDockWidget for the dockable
// Trace window) with its design geometry and returns its TRegPosSavedFrm. The
// main window then places it (an MDI child of the client area, or a dock widget
// of the main window) and runs its createForm(), which restores its position
// before its own creation handler runs.
//
// Threads: GUI thread only.
class ToolWindowCatalog {
 public:
  using Factory = std::function<TRegPosSavedFrm*(TMainFrm& mainFrm)>;
  // Runs a register file action on the file the user chose in the main
  // window's register file dialog.
  using FileAction = std::function<void(TMainFrm& mainFrm, const QString& path)>;

  // "RegFrm", "TraceFrm", "BitSetFrm", "TransmitFrm", "FiltersFrm".
  static const QStringList& creationOrder();

  // Adds (or replaces) the factory of a window of the creation order; a name
  // outside it is ignored, since the main window would never create it.
  void addWindow(const QString& componentName, Factory factory);
  Factory factory(const QString& componentName) const;
  bool hasWindow(const QString& componentName) const { return bool(factory(componentName)); }

  void setRegisterFileActions(FileAction load, FileAction save);
  const FileAction& registerLoad() const { return registerLoad_; }
  const FileAction& registerSave() const { return registerSave_; }

 private:
  std::map<QString, Factory> factories_;
  FileAction registerLoad_;
  FileAction registerSave_;
};

// What the Trace window offers the File menu: it loads a trace from, and saves
// its trace into, a profile file the main window opened from the user's choice.
class TTraceFiles {
 public:
  virtual ~TTraceFiles() = default;
  virtual void LoadTrace(ProfileFile& file) = 0;
  virtual void SaveTrace(ProfileFile& file) = 0;
};
