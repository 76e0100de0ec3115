// The base of every CAN tool window: the host (what the window sees of the
// main window), its threaded timers with their one error path, the connected
// guard, register jobs (shown while pending, their failures on the error
// display), the File menu entries it handles, and closing. It is also the window's saved-position
// base (TRegPosSavedFrm).
//
// A tool window is a Qt window, a QWidget in an MDI sub-window or the Trace
// window's QDockWidget, with this base beside it. TToolWindow is no QObject
// (a class has one QObject base, the Qt window's), so both kinds share it;
// TToolWindowOf<QtWindow> puts the two together and routes the close event:
//
//   class TFooFrm : public TToolWindowOf<QWidget> {
//     Q_OBJECT
//    public:
//     explicit TFooFrm(IToolWindowHost& host) : TToolWindowOf(host) {
//       setObjectName(QStringLiteral("FooFrm"));      // its component name
//       ...controls...
//       AddTimer(QStringLiteral("Timer"), 500, TimerState::Enabled, [this] { Tick(); });
//     }
//    private:
//     void Tick() {
//       if (!Connected()) return;
//       const auto image = Registers()->GetMainRegisters();  // a copy takes no lock
//       ...
//     }
//     void ApplyClick() {
//       RunRegisterJob({{...writes...}, TRegisterJob::Read::Cycle}, {apply_},
//                      [this](const TRegisterJobOutcome& outcome) { if (outcome.ok()) ...; });
//     }
//   };
//
// Threads: GUI thread only, the timers' ticks included (TThreadedTimer runs
// them there).
#pragma once

#include <QString>

#include <QPointer>

#include <functional>
#include <map>
#include <vector>

#include "PosSavedForm.h"
#include "RegisterJob.h"
#include "ToolWindowHost.h"

class QCloseEvent;
class QWidget;
class TCANRegAccessThread;
class TThreadedTimer;

class TToolWindow : public TRegPosSavedFrm {
 public:
  // Deletes the window's timers, before the Qt window deletes its controls,
  // so no tick runs on a window that is going. (The derived window's members
  // are gone already, but ticks only run from the event loop, which does not
  // run during the destruction.)
  ~TToolWindow() override;

  IToolWindowHost& Host() const { return host_; }
  // The link is open and a register access thread exists. Every handler that
  // touches the target tests it first and does nothing while it is false.
  bool Connected() const;
  // The register access thread, whose images the window may copy at any time
  // (a copy takes no lock); null when the nodes could not be created.
  TCANRegAccessThread* Registers() const { return host_.RegisterThread(); }
  // The link's first good read since the window was made: a window that
  // filled its fields from the images at creation (which the link may not
  // have read yet) fills them again, once.
  void BoardReached();
  // Register jobs of this window whose outcome has not arrived yet.
  int JobsPending() const { return jobsPending_; }
  // The window's threaded timers, which the main window switches off at close.
  const std::vector<TThreadedTimer*>& Timers() const { return timers_; }

  // Runs the handler the window gave for one of the File menu entries of its
  // table line (ToolWindows.h) with the file the user chose; false when it
  // gave none.
  bool RunFileEntry(const QString& objectName, const QString& path);
  bool HandlesFileEntry(const QString& objectName) const { return fileHandlers_.count(objectName) > 0; }

 protected:
  // form: the Qt window itself; its objectName is the component name.
  TToolWindow(QWidget* form, IToolWindowHost& host);

  enum class TimerState { Enabled, Disabled };
  // A threaded timer of the window (a child of it, named `name`) that runs
  // `tick` every intervalMs in the GUI thread while enabled. An error the
  // tick lets out goes to the error display, once.
  TThreadedTimer* AddTimer(const QString& name, int intervalMs, TimerState state, std::function<void()> tick);

  // Hands `job` to the register access thread while Connected(); false, and
  // nothing handed in, otherwise. While it is pending the window shows it:
  // the `busy` controls are disabled and the busy cursor is over the window.
  // When its outcome arrives: the controls are enabled again and the focus
  // goes back where it was; a failed write's message (or that of a close
  // that cut the writes short) goes to the error display (a failed read has
  // been shown as its pass's status); then `done` runs. Nothing runs for a
  // window that is gone.
  using JobDone = std::function<void(const TRegisterJobOutcome& outcome)>;
  bool RunRegisterJob(TRegisterJob job, const std::vector<QWidget*>& busy = {}, JobDone done = {});

  // The handler of a File menu entry of the window's table line: it gets the
  // path the user chose in the entry's dialog. It may throw; the main window
  // shows the error.
  void OnFileEntry(const QString& objectName, std::function<void(const QString& path)> handler);

  // Fills the window's fields from the images (its Refresh); BoardReached runs it.
  virtual void RefreshFromBoard() {}

  // Around disabling controls that may hold the keyboard focus: KeepFocus
  // remembers the control of this window that has it, RestoreFocus (once per
  // KeepFocus) gives it back when it can take it again, unless the user has
  // moved the focus to another window meanwhile. Without this a disabled
  // control hands the focus on, and Enter and the window's shortcuts end up
  // in another window.
  void KeepFocus();
  void RestoreFocus();

  // Closing: an MDI tool window is minimised, the dockable window hidden and
  // taken out of its dock site as a free window the size of its client area
  // (the Windows menu docks it again). Either way it lives for the whole run.
  void formClose(QCloseEvent* event) override;

 private:
  // `automatic`: the job came from a timer's tick; its error does not wait
  // for the person's next action.
  void JobEnded(const TRegisterJobOutcome& outcome, const std::vector<QPointer<QWidget>>& busy, bool automatic);
  // True when the focus is where disabling a control may have put it: nowhere,
  // in this window, or on the main window itself rather than in another window.
  bool FocusFollowedTheDisabling(const QWidget* focus) const;

  IToolWindowHost& host_;
  std::vector<TThreadedTimer*> timers_;  // children of the window
  int jobsPending_ = 0;
  bool inTimerTick_ = false;  // a timer's tick of this window is running (GUI thread)
  bool boardReached_ = false;
  // Controls disabled while jobs are pending: how many jobs hold each, and
  // whether it was enabled before the first of them.
  struct Held {
    int jobs = 0;
    bool wasEnabled = true;
  };
  std::map<QWidget*, Held> held_;
  int focusKept_ = 0;            // KeepFocus calls not yet matched
  QPointer<QWidget> keptFocus_;  // where the focus was at the first of them
  std::map<QString, std::function<void(const QString&)>> fileHandlers_;
};

// A tool window of a Qt window class: QWidget for an MDI tool window,
// QDockWidget for the dockable one.
template <class QtWindow>
class TToolWindowOf : public QtWindow, public TToolWindow {
 protected:
  explicit TToolWindowOf(IToolWindowHost& host, QWidget* parent = nullptr)
      : QtWindow(parent), TToolWindow(this, host) {}

  void closeEvent(QCloseEvent* event) override { closeForm(event); }
};
