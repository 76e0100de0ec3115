// TTraceFrm: the Trace window (component name "TraceFrm", caption "Trace").
// Lists the frames the CAN cell receives, one line per frame: the time since
// the first line, identifier, data length code, data bytes ("R" for a remote
// frame), accepting filter and receive buffer. While "Trace enabled" is
// checked and the window is shown, the register access thread takes every
// frame off the cell as its passes see the receive flags, and hands them here
// a pass's worth at a time (TCANRegAccessThread::AddReceiver); the list takes
// each batch in one insertion and follows the new lines unless the user has
// scrolled up. The list is cleared with "Clear", and
// saved to and loaded from trace files through the File menu entries that
// the window brings (LoadEntry, SaveEntry: see its line in ToolWindows.cpp),
// and exported as a candump log that other CAN tools read (ExportEntry,
// CandumpExport.h). Whether tracing is enabled is kept in the settings under
// "Trace/Enabled", read at creation and written whenever the window is hidden.
//
// The list cannot hold a frame that the cell lost: with its three receive
// buffers full, the cell drops the next frame and sets ORIF. The window
// counts those overruns (TTraceOverruns) in the label `Overruns` beside
// "Clear", so that a user knows the list is incomplete; the label is red
// while the count is not 0.
//
// It is the program's dockable window: a QDockWidget that the main window
// docks into its four edge dock sites or lets float on top of the others. It
// is hidden until its saved state or the Windows menu shows it. Closing it
// hides it and takes it out of its dock site (TToolWindow); the main window
// docks it again when it is next opened.
//
// Threads: everything here runs in the GUI thread, the timer's ticks and the
// register access thread's reports included.
#pragma once

#include <QDockWidget>

#include "ToolWindow.h"
#include "TraceListModel.h"
#include "TraceOverruns.h"

struct TReception;

class TProfileFile;
class QCheckBox;
class QFrame;
class QHideEvent;
class QShowEvent;
class QLabel;
class QPushButton;
class QTableView;
class TThreadedTimer;

class TTraceFrm : public TToolWindowOf<QDockWidget> {
  Q_OBJECT

 public:
  static constexpr int DesignWidth = 323;  // client area
  static constexpr int DesignHeight = 663;
  static constexpr int PanelHeight = 49;
  static constexpr int TimerInterval = 500;  // ms
  // Its File menu entries.
  static constexpr char LoadEntry[] = "TraceLoad";
  static constexpr char SaveEntry[] = "TraceSave";
  static constexpr char ExportEntry[] = "TraceExport";
  // What the Overruns label says, with the count for %1.
  static const QString OverrunsCaption;

  // Builds the window hidden, with its design size and its timer disabled.
  // The host must outlive the window. The main window then adds it to its
  // dock sites (QMainWindow::addDockWidget) and calls createForm(), which
  // restores the saved position and runs FormCreate.
  explicit TTraceFrm(IToolWindowHost& host, QWidget* parent = nullptr);

  // Replaces the list by the lines of an opened trace file. A file without
  // "General" or with an unreadable "NbLines" gives an empty list.
  void LoadTrace(const TProfileFile& file);
  // Writes the list into an opened trace file; the caller saves the file.
  // Throws EProfileFile for a line the file cannot hold.
  void SaveTrace(TProfileFile& file);
  // The File menu's "Load Trace" and "Save Trace": the trace file at `path`,
  // created by saving when missing. Throws EAppError for a file that cannot
  // be read or written.
  void LoadTraceFile(const QString& path);
  void SaveTraceFile(const QString& path);
  // "Export Trace as candump log...": the listed frames written into the
  // file at `path`, replacing it whole (CandumpExport::Write). Lines that
  // make no frame (from a damaged trace file) are left out, and the error
  // display says so. Throws EAppError("Unable to write to <path>"), leaving
  // the previous file as it was, when the file cannot be written.
  void ExportTraceFile(const QString& path);

  // The tick handler: keeps the reception switched on exactly while tracing
  // is enabled and the window is visible.
  void RefreshTrcTimer();
  // A batch of frames (and overruns) from the register access thread.
  void FramesReceived(const TReception& reception);
  // "Trace enabled" switched: the timer runs exactly while it is checked.
  void EnableTrcClick();
  // "Clear": removes every line and sets the overrun count back to 0.
  void ClrTrcClick();

  // The timer, component name "Timer"; the main window disables it at close.
  TThreadedTimer* Timer() const { return timer_; }
  QCheckBox* EnableTrc() const { return enableTrc_; }
  QPushButton* ClrTrc() const { return clrTrc_; }
  QTableView* ListTrc() const { return listTrc_; }
  QLabel* Overruns() const { return overrunsLabel_; }
  const TTraceListModel& Lines() const { return model_; }
  // Overruns seen since the last Clear (or trace file loaded).
  std::uint32_t OverrunCount() const { return overruns_.Count(); }

 protected:
  // Restores "Trace enabled" from the settings.
  void formCreate() override;
  void hideEvent(QHideEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void FormHide();
  // The Data column as wide as eight bytes, the others as their captions.
  void SizeColumns();
  void ShowOverruns();
  // Tells the register access thread whether this window wants frames now.
  void UpdateReception();

  TTraceListModel model_;
  int receiver_ = 0;  // this window's receiver at the register access thread; 0 until made
  TTraceOverruns overruns_;
  QFrame* panel_ = nullptr;
  QCheckBox* enableTrc_ = nullptr;
  QLabel* overrunsLabel_ = nullptr;
  QPushButton* clrTrc_ = nullptr;
  QTableView* listTrc_ = nullptr;
  TThreadedTimer* timer_ = nullptr;
  // formCreate() has read the setting; the hides of restoring the window's
  // position before it must not overwrite the setting with the unchecked box.
  bool created_ = false;
};
