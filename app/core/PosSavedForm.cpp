#include "PosSavedForm.h"

#include "DockSites.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <algorithm>

// Keeps the list of windows in focus order. One instance, a child of the
// application object, fed by QApplication::focusChanged in the GUI thread.
class TFocusTracker : public QObject {
 public:
  explicit TFocusTracker(QObject* parent) : QObject(parent) {
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusMoved(now); });
  }

 private:
  void focusMoved(QWidget* now);
};

// Records where the dockable window sits while it floats, so that its floating
// size is known while it is docked.
class TFloatGeometryRecorder : public QObject {
 public:
  TFloatGeometryRecorder(QDockWidget* dock, TRegPosSavedFrm* owner) : QObject(dock), dock_(dock), owner_(owner) {
    dock->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == dock_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move) && dock_->isFloating())
      owner_->floatRect_ = dock_->geometry();
    return false;
  }

 private:
  QDockWidget* dock_;
  TRegPosSavedFrm* owner_;
};

namespace {

// Program-wide state of the windows of this base; GUI thread only.
struct TFormsState {
  std::vector<TRegPosSavedFrm*> byFocus;  // most recently focused first, new windows last
  TRegPosSavedFrm* lastFocused = nullptr;
  TRegPosSavedFrm* windowToFocus = nullptr;
  TRegPosSavedFrm* mainForm = nullptr;
  QPointer<TFocusTracker> tracker;
};

TFormsState& formsState() {
  static TFormsState state;
  return state;
}

const QString kKeyPrefix = QStringLiteral("FormPositions/");

// Window systems take coordinates and sizes of 16 bits; stored values beyond
// that (a damaged or hand-edited key) are brought within it before any
// geometry arithmetic could overflow.
constexpr qint32 kCoordinateLimit = 32767;

qint32 boundedCoordinate(qint32 value) {
  return std::clamp(value, -kCoordinateLimit, kCoordinateLimit);
}

qint32 boundedSize(qint32 value) {
  return std::clamp(value, 0, kCoordinateLimit);
}

// The window of this base that contains the widget, the innermost one first.
TRegPosSavedFrm* formContaining(QWidget* widget) {
  for (QWidget* w = widget; w; w = w->parentWidget())
    for (TRegPosSavedFrm* form : formsState().byFocus)
      if (form->form() == w) return form;
  return nullptr;
}

}  // namespace

void TFocusTracker::focusMoved(QWidget* now) {
  if (!now) return;  // the program lost the focus to another program: nothing changed inside it
  TFormsState& s = formsState();
  s.lastFocused = formContaining(now);
  if (!s.lastFocused) return;
  auto it = std::find(s.byFocus.begin(), s.byFocus.end(), s.lastFocused);
  std::rotate(s.byFocus.begin(), it, it + 1);
}

TRegPosSavedFrm::TRegPosSavedFrm(QWidget* form, Role role) : form_(form), role_(role) {
  TFormsState& s = formsState();
  s.byFocus.push_back(this);
  if (role == Role::Main) s.mainForm = this;
  if (!s.tracker && qApp) s.tracker = new TFocusTracker(qApp);
}

TRegPosSavedFrm::~TRegPosSavedFrm() {
  TFormsState& s = formsState();
  s.byFocus.erase(std::remove(s.byFocus.begin(), s.byFocus.end(), this), s.byFocus.end());
  if (s.lastFocused == this) s.lastFocused = nullptr;
  if (s.windowToFocus == this) s.windowToFocus = nullptr;
  if (s.mainForm == this) s.mainForm = nullptr;
}

QString TRegPosSavedFrm::componentName() const {
  return form_->objectName();
}

TRegPosSavedFrm* TRegPosSavedFrm::activeForm() {
  return formsState().lastFocused;
}

std::vector<TRegPosSavedFrm*> TRegPosSavedFrm::forms() {
  return formsState().byFocus;
}

TRegPosSavedFrm* TRegPosSavedFrm::windowToFocus() {
  return formsState().windowToFocus;
}

TRegPosSavedFrm* TRegPosSavedFrm::mainForm() {
  return formsState().mainForm;
}

TRegPosSavedFrm::Kind TRegPosSavedFrm::kind() const {
  if (qobject_cast<QDockWidget*>(form_)) return Kind::Dock;
  if (qobject_cast<QMdiSubWindow*>(form_->parentWidget())) return Kind::MdiChild;
  return Kind::TopLevel;
}

QWidget* TRegPosSavedFrm::frame() const {
  return kind() == Kind::MdiChild ? form_->parentWidget() : form_;
}

void TRegPosSavedFrm::createForm() {
  if (auto* dock = qobject_cast<QDockWidget*>(form_)) {
    if (dock->isFloating()) floatRect_ = dock->geometry();
    new TFloatGeometryRecorder(dock, this);
  }
  restorePosition();
  formCreate();
}

void TRegPosSavedFrm::formClose(QCloseEvent*) {}

void TRegPosSavedFrm::closeForm(QCloseEvent* event) {
  if (role_ == Role::Main) {
    // Which window was active and whether this one was shown are what the
    // user left; hiding may already move the focus elsewhere.
    TRegPosSavedFrm* active = activeForm();
    visibleBeforeClose_ = !form_->isHidden();
    form_->hide();
    saveAll(active);
    visibleBeforeClose_.reset();
  }
  formClose(event);
}

// ---- restoring ------------------------------------------------------------

bool TRegPosSavedFrm::restorePosition() {
  if (componentName().isEmpty()) return false;  // a window without a component name has no key
  const TSettingsStore key(kKeyPrefix + componentName());
  positionStored_ = key.readInt(QStringLiteral("Left")).has_value();
  const bool complete = restoreSteps(key);
  keepOnScreen();
  return complete;
}

bool TRegPosSavedFrm::restoreSteps(const TSettingsStore& key) {
  QRect rect = storedRect();
  const auto left = key.readInt(QStringLiteral("Left"));
  if (!left) return false;
  rect.moveLeft(boundedCoordinate(*left));
  applyRect(rect);
  const auto top = key.readInt(QStringLiteral("Top"));
  if (!top) return false;
  rect.moveTop(boundedCoordinate(*top));
  applyRect(rect);
  const auto width = key.readInt(QStringLiteral("Width"));
  if (!width) return false;
  rect.setWidth(boundedSize(*width));
  applyRect(rect);
  const auto height = key.readInt(QStringLiteral("Height"));
  if (!height) return false;
  rect.setHeight(boundedSize(*height));
  applyRect(rect);

  const auto state = key.readInt(QStringLiteral("WindowState"));
  if (!state || !applyWindowState(*state)) return false;

  const auto visible = key.readInt(QStringLiteral("Visible"));
  if (!visible) return false;
  frame()->setVisible(*visible != 0);

  const auto active = key.readInt(QStringLiteral("ActiveForm"));
  if (!active) return false;
  TFormsState& s = formsState();
  if (*active != 0) s.windowToFocus = this;
  if (s.windowToFocus && !s.windowToFocus->takeFocus()) return false;

  const auto docked = key.readInt(QStringLiteral("Docked"));
  if (!docked) return false;
  if (*docked != 0) {
    const auto site = key.readString(QStringLiteral("DockSiteName"));
    if (!site) return false;
    return dockInto(*site, key);
  }
  return true;
}

QRect TRegPosSavedFrm::storedRect() const {
  if (kind() == Kind::Dock && isDocked()) return QRect(floatRect_.topLeft(), floatingSize());
  return frame()->geometry();
}

void TRegPosSavedFrm::applyRect(const QRect& rect) {
  if (kind() == Kind::Dock && isDocked())
    floatRect_ = rect;  // a docked window keeps the geometry for when it floats
  else
    frame()->setGeometry(rect);
}

bool TRegPosSavedFrm::applyWindowState(qint32 state) {
  if (state < 0 || state > 2) return false;  // not a window state: stop like any unreadable value
  switch (kind()) {
    case Kind::TopLevel: {
      Qt::WindowStates states = form_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
      if (state == 1)
        states |= Qt::WindowMinimized;
      else if (state == 2)
        states |= Qt::WindowMaximized;
      form_->setWindowState(states);
      break;
    }
    case Kind::MdiChild: {
      auto* sub = static_cast<QMdiSubWindow*>(frame());
      if (state == 1)
        sub->showMinimized();
      else if (state == 2)
        sub->showMaximized();
      else
        sub->showNormal();
      break;
    }
    case Kind::Dock:
      break;  // a dock widget is never minimised or maximised
  }
  return true;
}

bool TRegPosSavedFrm::takeFocus() {
  QWidget* f = frame();
  if (!f->isVisible()) return false;  // a hidden window cannot take the focus
  switch (kind()) {
    case Kind::TopLevel:
      form_->raise();
      form_->activateWindow();
      break;
    case Kind::MdiChild: {
      auto* sub = static_cast<QMdiSubWindow*>(f);
      if (QMdiArea* area = sub->mdiArea()) area->setActiveSubWindow(sub);
      form_->window()->activateWindow();
      form_->setFocus(Qt::OtherFocusReason);
      break;
    }
    case Kind::Dock: {
      auto* dock = static_cast<QDockWidget*>(form_);
      dock->window()->activateWindow();
      (dock->widget() ? dock->widget() : dock)->setFocus(Qt::OtherFocusReason);
      break;
    }
  }
  return true;
}

bool TRegPosSavedFrm::dockInto(const QString& siteName, const TSettingsStore& key) {
  auto* dock = qobject_cast<QDockWidget*>(form_);
  auto* mainWindow = dock ? qobject_cast<QMainWindow*>(dock->parentWidget()) : nullptr;
  const std::optional<Qt::DockWidgetArea> area = DockSites::areaForName(siteName);
  if (!mainWindow || !area) return true;  // no such dock site: the window stays free with its restored geometry

  const auto dockWidth = key.readInt(QStringLiteral("DockWidth"));
  if (!dockWidth) return false;
  const auto dockHeight = key.readInt(QStringLiteral("DockHeight"));
  if (!dockHeight) return false;

  // The geometry restored above is the floating one; the dock widget keeps it
  // for when it floats again.
  if (dock->isFloating()) floatRect_ = dock->geometry();
  mainWindow->addDockWidget(*area, dock);
  if (dock->isFloating()) dock->setFloating(false);
  const bool sideways = *area == Qt::LeftDockWidgetArea || *area == Qt::RightDockWidgetArea;
  // The dock site takes the window's docked width (left, right) or height (top, bottom).
  mainWindow->resizeDocks({dock}, {boundedSize(sideways ? *dockWidth : *dockHeight)},
                          sideways ? Qt::Horizontal : Qt::Vertical);
  return true;
}

void TRegPosSavedFrm::keepOnScreen() {
  // A window placed where no screen is any more (a monitor removed since the
  // last run) would be out of reach: bring it to the primary screen. One
  // larger than all screens together is of no use either.
  if (kind() == Kind::MdiChild || (kind() == Kind::Dock && isDocked())) return;
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (!primary) return;
  QWidget* f = frame();
  const QSize desktop = primary->virtualGeometry().size();
  if (f->width() > desktop.width() || f->height() > desktop.height()) f->resize(f->size().boundedTo(desktop));
  const QRect rect = f->geometry();
  for (const QScreen* screen : QGuiApplication::screens())
    if (screen->geometry().intersects(rect)) return;
  f->move(primary->availableGeometry().topLeft());
}

// ---- saving ---------------------------------------------------------------

bool TRegPosSavedFrm::isDocked() const {
  auto* dock = qobject_cast<QDockWidget*>(form_);
  if (!dock || dock->isFloating()) return false;
  auto* mainWindow = qobject_cast<QMainWindow*>(dock->parentWidget());
  return mainWindow && mainWindow->dockWidgetArea(dock) != Qt::NoDockWidgetArea;
}

QSize TRegPosSavedFrm::floatingSize() const {
  return floatRect_.isValid() ? floatRect_.size() : form_->sizeHint();
}

int TRegPosSavedFrm::windowStateCode() const {
  const Qt::WindowStates states = frame()->windowState();
  if (states & Qt::WindowMinimized) return 1;
  if (states & (Qt::WindowMaximized | Qt::WindowFullScreen)) return 2;
  return 0;
}

QRect TRegPosSavedFrm::normalRect() const {
  if (kind() == Kind::TopLevel) {
    // For a top-level window Qt keeps the normal geometry while it is
    // maximised; leaving the state may only take effect later (window manager).
    const QRect normal = form_->normalGeometry();
    if (normal.isValid()) return normal;
  }
  return frame()->geometry();
}

void TRegPosSavedFrm::makeNormal() {
  if (kind() == Kind::MdiChild) {
    auto* sub = static_cast<QMdiSubWindow*>(frame());
    if (sub->isMinimized() || sub->isMaximized()) sub->showNormal();
  } else {
    frame()->setWindowState(frame()->windowState() &
                            ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
  }
}

void TRegPosSavedFrm::savePosition(bool active) {
  if (componentName().isEmpty()) return;
  TSettingsStore key(kKeyPrefix + componentName());
  QWidget* f = frame();
  key.writeInt(QStringLiteral("ActiveForm"), active ? 1 : 0);
  key.writeInt(QStringLiteral("Visible"), visibleBeforeClose_.value_or(!f->isHidden()) ? 1 : 0);
  key.writeInt(QStringLiteral("WindowState"), windowStateCode());

  QRect rect = kind() == Kind::MdiChild ? QRect() : normalRect();
  makeNormal();
  if (kind() == Kind::MdiChild)
    rect = f->geometry();  // an MDI child takes its normal geometry back at once
  else
    f->hide();

  const bool docked = isDocked();
  key.writeInt(QStringLiteral("Docked"), docked ? 1 : 0);
  if (docked) {
    auto* dock = static_cast<QDockWidget*>(form_);
    auto* mainWindow = static_cast<QMainWindow*>(dock->parentWidget());
    key.writeString(QStringLiteral("DockSiteName"), DockSites::nameForArea(mainWindow->dockWidgetArea(dock)));
    key.writeInt(QStringLiteral("DockWidth"), dock->width());
    key.writeInt(QStringLiteral("DockHeight"), dock->height());
    const QSize floating = floatingSize();
    dock->setFloating(true);
    dock->setGeometry(QRect(QPoint(0, 0), floating));
    rect = dock->geometry();
  }
  key.writeInt(QStringLiteral("Left"), rect.left());
  key.writeInt(QStringLiteral("Top"), rect.top());
  key.writeInt(QStringLiteral("Width"), rect.width());
  key.writeInt(QStringLiteral("Height"), rect.height());
  key.sync();  // a failing write is ignored: the other windows are still saved
}

void TRegPosSavedFrm::saveAllPositions() {
  saveAll(activeForm());
}

void TRegPosSavedFrm::saveAll(TRegPosSavedFrm* active) {
  for (TRegPosSavedFrm* form : forms()) form->savePosition(form == active);
}
