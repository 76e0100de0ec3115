#pragma once

#include <QRect>
#include <QString>

#include <optional>
#include <vector>

class QCloseEvent;
class QWidget;
class TSettingsStore;

// The saved-position base of the main window and of the tool windows (not the
// About box). It brings every such window back where the user left it:
// geometry, minimised or maximised state, visibility, which window was active
// and, for the dockable window, the dock site it sat in. Each window keeps its
// values under "FormPositions/<component name>" (TSettingsStore).
//
// Use it as a second base beside the Qt window class:
//
//   class TRegFrm : public QWidget, public TRegPosSavedFrm {
//       TRegFrm() : TRegPosSavedFrm(this) { setObjectName("RegFrm"); ... }
//       void formCreate() override;                        // the window's own creation handler
//       void closeEvent(QCloseEvent* e) override { closeForm(e); }
//   };
//   auto* regFrm = new TRegFrm;
//   mdiArea->addSubWindow(regFrm);
//   regFrm->createForm();                                   // restores, then runs formCreate()
//
// Three kinds of window are handled, told apart by where the window sits:
// - a top-level window (the main window): geometry() on the screen;
// - an MDI child: the QMdiSubWindow that holds it, in the MDI area's coordinates;
// - a QDockWidget that a QMainWindow holds: floating, its geometry on the screen;
//   docked, its dock area by name (DockSites), its docked size and the size it
//   has when floating.
// Width and Height are the window's size without the frame that the window
// manager draws around a top-level window (Qt cannot set that frame's size).
//
// Threads: everything here, the program-wide list of windows included, belongs
// to the GUI thread.
class TRegPosSavedFrm {
 public:
  enum class Role { Tool, Main };

  virtual ~TRegPosSavedFrm();

  TRegPosSavedFrm(const TRegPosSavedFrm&) = delete;
  TRegPosSavedFrm& operator=(const TRegPosSavedFrm&) = delete;

  QWidget* form() const { return form_; }
  QString componentName() const;
  Role role() const { return role_; }

  // The window's creation sequence: restore its saved position, then run
  // formCreate() whatever the restoring did. Call it once, when the window sits
  // where it lives (an MDI child after QMdiArea::addSubWindow, the dockable
  // window after QMainWindow::addDockWidget).
  void createForm();

  // Reads the window's key and applies each value at once, in this order:
  // Left, Top, Width, Height, WindowState, Visible, ActiveForm (then the window
  // to focus gets the focus), Docked (then DockSiteName, DockWidth, DockHeight).
  // Stops at the first value that is missing, has the other type or cannot be
  // applied, keeping what was applied until then. True when nothing stopped it.
  bool restorePosition();
  // Whether the last restorePosition found a stored position ("Left") for
  // the window; without one, the window keeps the place its owner gave it.
  bool positionStored() const { return positionStored_; }

  // Writes the window's key: ActiveForm, Visible, WindowState, Docked (with
  // DockSiteName, DockWidth, DockHeight when docked), Left, Top, Width, Height.
  // Leaves the window in the normal state, a top-level or dockable window hidden,
  // and a docked window floating at the screen's origin with its floating size.
  void savePosition(bool active);

  // Saves every window of this base, most recently focused first; the window
  // that last had the keyboard focus is saved as the active one.
  static void saveAllPositions();

  // The window of this base whose control last took the keyboard focus; null
  // when none has yet or when the focus went to a window not of this base.
  static TRegPosSavedFrm* activeForm();
  // Every window of this base, most recently focused first.
  static std::vector<TRegPosSavedFrm*> forms();
  // The window that restoring gives the focus to (program-wide, at most one).
  static TRegPosSavedFrm* windowToFocus();
  static TRegPosSavedFrm* mainForm();

 protected:
  // form: the window itself (this). Its objectName is the component name.
  explicit TRegPosSavedFrm(QWidget* form, Role role = Role::Tool);

  // The window's own creation handler, run by createForm() after restoring.
  virtual void formCreate() {}
  // The window's own close handler, run by closeForm().
  virtual void formClose(QCloseEvent* event);

  // The window's close notice; call it from closeEvent(). For the main window
  // it first hides the window and saves the positions of all windows.
  void closeForm(QCloseEvent* event);

 private:
  enum class Kind { TopLevel, MdiChild, Dock };
  friend class TFocusTracker;
  friend class TFloatGeometryRecorder;

  static void saveAll(TRegPosSavedFrm* active);
  Kind kind() const;
  QWidget* frame() const;  // the widget whose geometry is kept
  bool restoreSteps(const TSettingsStore& key);
  QRect storedRect() const;
  void applyRect(const QRect& rect);
  bool applyWindowState(qint32 state);
  int windowStateCode() const;
  QRect normalRect() const;
  void makeNormal();
  bool takeFocus();
  bool isDocked() const;
  bool dockInto(const QString& siteName, const TSettingsStore& key);
  QSize floatingSize() const;
  void keepOnScreen();

  QWidget* form_;
  Role role_;
  bool positionStored_ = false;
  // For the dockable window: its geometry when it last floated; kept up to
  // date by a TFloatGeometryRecorder on the dock widget.
  QRect floatRect_;
  // For the main window during its close: whether it was shown before the
  // close hid it, since that, not the hiding, is what the user left.
  std::optional<bool> visibleBeforeClose_;
};
