#pragma once

#include "PosSavedForm.h"
#include "RegisterFile.h"
#include "ToolWindowHost.h"
#include "ToolWindows.h"

#include <QMainWindow>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class TErrorDisplay;
class THintPanel;
class QAction;
class QDockWidget;
class QFrame;
class QMdiSubWindow;
class TCANRegAccessThread;
class TClientArea;
class TDockLayout;
class TFileMenuActions;
class TLinkChoices;
class TSerialLink;
class TToolWindow;

// The main window (component name MainFrm, caption "Vorelan 1.1"): the frame
// whose client area holds the tool windows and whose four edges are dock
// sites for the Trace window. It owns the link to the board (both nodes, the
// register access thread and the connected flag, TSerialLink), keeps the
// communication settings under "Communication", and shows every error of the
// program on the first panel of its status bar. Its jobs have classes of
// their own: the port and speed choices (TLinkChoices), the File menu's work
// with files (TFileMenuActions) and the first start's arrangement
// (FirstStartLayout).
//
// Creation: construct it, then call createForm() (restores its saved position,
// then runs formCreate(): the start-up sequence, TSerialLink::start, whose
// report it shows),
// then createToolWindows(), then show it. The start-up never waits on the
// board: the status bar says "Connecting..." until the first read is done.
// Closing it saves every window's position, stops the register access
// thread (which ends at once, whatever the board does), closes the nodes and
// saves the communication settings.
//
// Threads: GUI thread only. The register access thread reaches it only through
// queued reports (TSerialLink's status and link changes, register jobs' outcomes).
class TMainFrm : public QMainWindow, public TRegPosSavedFrm, public IToolWindowHost {
  Q_OBJECT

 public:
  // A register file action ("Load Register values", "Save Register values")
  // on the file the user chose in the main window's dialog. It hands its job
  // to the register access thread and calls `ended` once the job is done
  // (or throws, without calling it, when it hands in nothing).
  using RegisterFileAction =
      std::function<void(IToolWindowHost& host, const QString& path, std::function<void()> ended)>;

  struct Options {
    // The simulated board is on COM1 for this run: port 1 is used, 19200 bit/s
    // when the stored settings name no speed, and the Communication settings
    // are not written at close. (The program also keeps every other settings
    // change of a simulated run in memory: TSettingsStore::keepChangesInMemory.)
    bool simulate = false;
    // With simulate: why the simulated board could not start, or empty when
    // it runs. The error is shown and no port is opened: COM1 would be the
    // user's own device.
    QString simulatedBoardFailure;
    // The tool windows: their menu entries, creation order and help pages.
    // Tests replace factories with stand-ins or leave them out.
    ToolWindowTable toolWindows = ToolWindows::Table();
    // The File menu's register file entries (RegisterFile.h); tests may
    // replace them, and an empty one greys its entry.
    RegisterFileAction registerLoad = RegisterFile::Load;
    RegisterFileAction registerSave = RegisterFile::Save;
    // Replaces the file dialogs (tests); returns the chosen path or empty.
    std::function<QString(const TFileDialogSpec& dialog)> chooseFile;
  };

  // The client area's design size, menu bar excluded.
  static constexpr QSize kDesignClient{762, 649};

  TMainFrm();
  explicit TMainFrm(Options options);
  ~TMainFrm() override;

  // ---- what the other windows use
  // The link is open and the register access thread may run. Read-only.
  bool Connected() const override;
  // The register access thread; null when a node could not be created.
  TCANRegAccessThread* RegThread() const;
  TCANRegAccessThread* RegisterThread() const override { return RegThread(); }
  // The error handler: panel 0 turns red with "ERROR: " and the message (green
  // "Connection OK" for an empty message) and repaints at once.
  void ShowError(const QString& message) override;
  void ShowStatusError(const QString& message) override;
  // Status panel 1, written and repainted at once ("Loading... Please Wait").
  void ShowProgress(const QString& text) override;
  // Runs a handler; any error it throws goes to the error display.
  void guarded(const std::function<void()>& handler);
  TErrorDisplay* errorDisplay() const { return errorDisplay_; }
  THintPanel* hintPanel() const { return hintPanel_; }
  TClientArea* clientArea() const { return clientArea_; }
  TDockLayout* dockLayout() const { return dockLayout_; }
  TSerialLink* link() const { return link_; }
  // A file dialog of the main window; the chosen path or empty.
  QString chooseFile(const TFileDialogSpec& dialog);

  // ---- tool windows
  // Creates the tool windows of the table that have a factory, in their
  // creation order, each placed and restored, and enables their menu entries.
  void createToolWindows();
  TToolWindow* toolWindow(const QString& componentName) const;
  // The Windows menu: brings a window back to its normal state and shows it;
  // the Trace window is first docked into the last dock site if hidden.
  void showToolWindow(const QString& componentName);

  // ---- menu handlers
  void COMSelClick(int port);             // 1, 2 or 3
  void SpeedSelClick(int bitsPerSecond);  // 4800, 9600 or 19200
  void RegLoadClick();
  void RegSaveClick();
  // A File menu entry of a tool window: its dialog, then its handler.
  void ToolFileClick(const TToolWindowEntry& window, const TFileMenuEntry& entry);
  // Files named on the command line, in order, each as its File menu entry
  // opens it without the dialog: a register file (".rgr") is loaded into the
  // registers, a file a tool window opens (".trc": the Trace window, shown)
  // into that window. A missing file or another kind gets its message; the
  // others open all the same. Returns the messages, which end on the error
  // display (the last one shown, all of them as its text when several).
  QStringList openFiles(const QStringList& paths);
  void ConfigurePortsClick();
  void HelpClick();
  void HelpOnWindowClick();
  void AboutClick();
  // The help command "Help on current window" opens: "vorelan.chm" followed by
  // "::/" and the page of the window whose control last took the focus.
  QString helpCommandForActiveWindow() const;

  // The checked comm-port and speed entries.
  std::optional<int> checkedPort() const;
  std::optional<int> checkedSpeed() const;
  // A menu entry by object name ("COM1", "Speed9600", "WinTrace", "Exit", ...).
  QAction* action(const QString& objectName) const;

  // The protocol node's answer time-out reported by the start-up (a negative
  // or huge one counts as TTavarnelObject's longest; 1 s when the node refused
  // it); the close ends within it plus one second.
  std::chrono::milliseconds closeLimit() const;
  bool closeCompleted() const { return closeCompleted_; }
  // A register file's load or save is on its way (its File entries are greyed).
  bool registerFileBusy() const;

 protected:
  void formCreate() override;
  void formClose(QCloseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void buildStatusBar();
  void buildClientArea();
  QAction* addEntry(QMenu* menu, const QString& objectName, const QString& caption, const QString& hint,
                    const QKeySequence& shortcut, std::function<void()> handler);
  // The first good polling pass since the link was opened.
  void boardReached();
  void updateToolEntries();
  void placeToolWindow(TToolWindow* window);
  void disableToolTimers();

  Options options_;
  TSerialLink* link_;
  std::unique_ptr<TLinkChoices> linkChoices_;
  std::unique_ptr<TFileMenuActions> fileActions_;
  TClientArea* clientArea_ = nullptr;
  QFrame* topLine_ = nullptr;
  TDockLayout* dockLayout_;
  TErrorDisplay* errorDisplay_ = nullptr;
  THintPanel* hintPanel_ = nullptr;
  std::map<QString, QAction*> windowEntries_;  // component name -> Windows menu entry
  // The File menu entries of the tool windows: entry -> component name of its window.
  std::map<QAction*, QString> toolFileEntries_;
  std::map<QString, TToolWindow*> toolWindows_;
  bool boardReached_ = false;  // a good pass since the link was last opened
  bool closing_ = false;
  bool closeCompleted_ = false;
};
