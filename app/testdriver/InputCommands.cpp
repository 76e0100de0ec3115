#include "InputCommands.h"

#include "CommandSupport.h"
#include "ControlLookup.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QKeySequence>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>

#include <vector>

namespace TestDriverCommands {
namespace {

// Why a person could not give this control input now, or empty.
QString inputRefusal(QWidget* widget) {
  if (!widget->isVisible()) return describe(widget) + QStringLiteral(" is not shown");
  if (!widget->isEnabled()) return describe(widget) + QStringLiteral(" is disabled");
  QWidget* modal = QApplication::activeModalWidget();
  if (modal && widget->window() != modal && !modal->isAncestorOf(widget))
    return describe(widget) + QStringLiteral(" is behind the modal dialog ") + describe(modal);
  if (!widget->window()->windowHandle()) return describe(widget) + QStringLiteral(" has no window");
  return QString();
}

// Why a click at `at` would not reach the control, or empty: another window
// (an MDI child, a floating or docked window) lies over that point.
QString coverRefusal(QWidget* widget, QPoint at) {
  QWidget* hit = QApplication::widgetAt(widget->mapToGlobal(at));
  if (hit == widget || widget->isAncestorOf(hit)) return QString();
  // Name the window on top: an MDI child by the form it holds.
  QWidget* cover = hit ? hit->window() : nullptr;
  for (QWidget* w = hit; w && !w->isWindow(); w = w->parentWidget())
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w); sub && sub->widget()) cover = sub->widget();
  return describe(widget) + QStringLiteral(" is covered there by ") +
         (cover ? describe(cover) : QStringLiteral("nothing of the program"));
}

// A person clicks into a window before typing into it: the window manager
// then activates it.
void activate(QWidget* widget) {
  QWidget* window = widget->window();
  if (QApplication::activeWindow() == window) return;
  window->activateWindow();
  // Input reaches a window that did not become active too (it goes to the
  // window's own focus control), so a late activation is no failure.
  static_cast<void>(QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, kUiWaitMs));
}

// A left click at `pos` of the widget, through its window as the window
// system delivers one.
void clickAt(QWidget* widget, QPoint pos) {
  QWindow* window = widget->window()->windowHandle();
  QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, window->mapFromGlobal(widget->mapToGlobal(pos)));
}

// Typed into whatever has the focus of the widget's window.
void typeText(QWidget* widget, const QString& text) {
  QPointer<QWindow> window = widget->window()->windowHandle();
  for (QChar c : text) {
    if (!window) return;
    // QTest's own key table covers printable ASCII only: it aborts on anything else.
    if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
      QTest::sendKeyEvent(QTest::Click, window, Qt::Key_unknown, QString(c), Qt::NoModifier);
    else
      QTest::keyClick(window, char(c.unicode()));
  }
}

// The text a key types, as QTest gives it for the keys its table knows:
// printable ASCII (a letter in lower case), and the control characters of
// Backspace, Tab, Return and Escape; none for any other key.
QString keyText(Qt::Key key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return QChar(char16_t(key - Qt::Key_A + 'a'));
  if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) return QChar(char16_t(key));
  switch (key) {
    case Qt::Key_Backspace:
      return QStringLiteral("\b");
    case Qt::Key_Tab:
      return QStringLiteral("\t");
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return QStringLiteral("\r");
    case Qt::Key_Escape:
      return QStringLiteral("\x1b");
    default:
      return QString();
  }
}

// Ctrl+A; a field that takes digits only (and so no Ctrl+A) is emptied as a
// person would then do it, with End and Backspace.
void selectAllText(QWidget* field) {
  QPointer<QWindow> window = field->window()->windowHandle();
  QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
  auto* edit = qobject_cast<QLineEdit*>(field->window()->focusWidget());
  if (!edit || !window || edit->selectedText() == edit->text()) return;
  QTest::keyClick(window, Qt::Key_End);
  for (qsizetype n = edit->text().size(); n > 0 && window; --n) QTest::keyClick(window, Qt::Key_Backspace);
}

// The menus from the menu bar down to `action`, outermost first.
std::vector<QMenu*> menuChain(QAction* action, QMenuBar** bar) {
  std::vector<QMenu*> chain;
  for (QAction* entry = action; entry;) {
    QMenu* holder = nullptr;
    *bar = nullptr;
    for (QObject* object : entry->associatedObjects()) {
      if (auto* menu = qobject_cast<QMenu*>(object)) holder = menu;
      if (auto* menuBar = qobject_cast<QMenuBar*>(object)) *bar = menuBar;
    }
    if (*bar || !holder) break;
    chain.insert(chain.begin(), holder);
    entry = holder->menuAction();
  }
  return chain;
}

}  // namespace

Reply click(const QStringList& fields) {
  QString error;
  QWidget* widget = resolveWidget(fields.value(1), &error);
  if (!widget) return failure(error);
  if (const QString refusal = inputRefusal(widget); !refusal.isEmpty()) return failure(refusal);
  QPoint at = widget->rect().center();
  if (fields.size() > 3 && !integers(fields, 2, {&at.rx(), &at.ry()}, -kMaxCoordinate, kMaxCoordinate, &error))
    return failure(error);
  if (!widget->rect().contains(at)) return failure(QStringLiteral("the point lies outside ") + describe(widget));
  if (const QString covered = coverRefusal(widget, at); !covered.isEmpty()) return failure(covered);
  QPointer<QWidget> target = widget;
  return acting([target, at] {
    if (!target) return;
    activate(target);
    if (target) clickAt(target, at);
  });
}

Reply typeInto(const QStringList& fields, bool replace) {
  QString error;
  QWidget* widget = resolveWidget(fields.value(1), &error);
  if (!widget) return failure(error);
  if (const QString refusal = inputRefusal(widget); !refusal.isEmpty()) return failure(refusal);
  if (const QString covered = coverRefusal(widget, widget->rect().center()); !covered.isEmpty())
    return failure(covered);
  QPointer<QWidget> target = widget;
  const QString typed = fields.value(2);
  return acting([target, typed, replace] {
    if (!target) return;
    activate(target);
    if (!target) return;
    clickAt(target, target->rect().center());
    if (target && replace) selectAllText(target);
    if (target) typeText(target, typed);
  });
}

Reply key(const QString& path, const QString& keys) {
  QString error;
  QWidget* widget = resolveWidget(path, &error);
  if (!widget) return failure(error);
  const QKeySequence sequence = QKeySequence::fromString(keys);
  if (sequence.isEmpty()) return failure(QStringLiteral("no keys in ") + keys);
  for (int i = 0; i < sequence.count(); ++i)
    if (sequence[i].key() == Qt::Key_unknown || sequence[i].key() == 0)
      return failure(QStringLiteral("no key named in ") + keys);
  if (!widget->window()->windowHandle()) return failure(describe(widget) + QStringLiteral(" has no window"));
  QPointer<QWindow> window = widget->window()->windowHandle();
  QPointer<QWidget> target = widget;
  return acting([target, window, sequence] {
    if (target) activate(target);
    // Not QTest::keySequence: its key table aborts the program on a key it does not know.
    for (int i = 0; i < sequence.count() && window; ++i)
      QTest::sendKeyEvent(QTest::Click, window, sequence[i].key(), keyText(sequence[i].key()),
                          sequence[i].keyboardModifiers());
  });
}

Reply menu(const QString& path) {
  QString error;
  QObject* object = resolve(path, &error);
  if (!object) return failure(error);
  auto* action = qobject_cast<QAction*>(object);
  if (!action) return failure(describe(object) + QStringLiteral(" is no menu entry"));
  QMenuBar* bar = nullptr;
  const std::vector<QMenu*> chain = menuChain(action, &bar);
  if (!bar || chain.empty()) return failure(describe(action) + QStringLiteral(" is in no menu of a menu bar"));
  if (const QString refusal = inputRefusal(bar); !refusal.isEmpty()) return failure(refusal);
  for (QMenu* menu : chain)
    if (!menu->menuAction()->isEnabled()) return failure(describe(menu) + QStringLiteral(" is disabled"));
  if (!action->isEnabled()) return failure(describe(action) + QStringLiteral(" is disabled"));
  QPointer<QMenuBar> menuBar = bar;
  QPointer<QAction> entry = action;
  std::vector<QPointer<QMenu>> menus(chain.begin(), chain.end());
  return acting([menuBar, entry, menus] {
    if (!menuBar) return;
    activate(menuBar);
    // The menu bar's title opens the first menu; each further menu opens from
    // its entry in the one before (after the menu's own short delay).
    clickAt(menuBar, menuBar->actionGeometry(menus.front()->menuAction()).center());
    for (std::size_t i = 0; i < menus.size(); ++i) {
      QPointer<QMenu> menu = menus[i];
      if (!QTest::qWaitFor([menu] { return !menu || menu->isVisible(); }, kUiWaitMs) || !menu) return;
      QAction* next = i + 1 < menus.size() ? menus[i + 1]->menuAction() : entry.data();
      if (!next) return;
      clickAt(menu, menu->actionGeometry(next).center());
    }
  });
}

Reply tab(const QString& path, const QString& caption) {
  QString error;
  QWidget* widget = resolveWidget(path, &error);
  if (!widget) return failure(error);
  QTabBar* bar = qobject_cast<QTabBar*>(widget);
  if (auto* tabs = qobject_cast<QTabWidget*>(widget)) bar = tabs->tabBar();
  if (!bar) return failure(describe(widget) + QStringLiteral(" has no tabs"));
  if (const QString refusal = inputRefusal(bar); !refusal.isEmpty()) return failure(refusal);
  for (int i = 0; i < bar->count(); ++i) {
    if (plain(bar->tabText(i)) != caption) continue;
    QPointer<QTabBar> target = bar;
    const QPoint at = bar->tabRect(i).center();
    return acting([target, at] {
      if (target) activate(target);
      if (target) clickAt(target, at);
    });
  }
  return failure(QStringLiteral("no tab ") + caption + QStringLiteral(" in ") + describe(widget));
}

Reply fileDialog(const QString& file) {
  auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
  if (!dialog) return failure(QStringLiteral("no file dialog is open"));
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (!name || !name->isVisible()) return failure(QStringLiteral("the file dialog has no file name field"));
  QPointer<QLineEdit> target = name;
  return acting([target, file] {
    if (!target) return;
    activate(target);
    clickAt(target, target->rect().center());
    if (!target) return;
    QPointer<QWindow> window = target->window()->windowHandle();
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    typeText(target, file);
    if (window) QTest::keyClick(window, Qt::Key_Return);
  });
}

Reply setGeometry(const QStringList& fields) {
  QString error;
  QWidget* widget = resolveWidget(fields.value(1), &error);
  if (!widget) return failure(error);
  QWidget* window = framed(widget);
  if (!window->isWindow() && !qobject_cast<QMdiSubWindow*>(window))
    return failure(describe(widget) + QStringLiteral(" is no window"));
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  if (!integers(fields, 2, {&x, &y}, -kMaxCoordinate, kMaxCoordinate, &error) ||
      !integers(fields, 4, {&width, &height}, 1, kMaxCoordinate, &error))
    return failure(error);
  const QRect geometry(x, y, width, height);
  window->setGeometry(geometry);
  return success();
}

Reply windowState(const QString& path, const QString& state) {
  QString error;
  QWidget* widget = resolveWidget(path, &error);
  if (!widget) return failure(error);
  QWidget* window = framed(widget);
  if (!window->isWindow() && !qobject_cast<QMdiSubWindow*>(window))
    return failure(describe(widget) + QStringLiteral(" is no window"));
  if (state == QLatin1String("normal"))
    window->showNormal();
  else if (state == QLatin1String("minimized"))
    window->showMinimized();
  else if (state == QLatin1String("maximized"))
    window->showMaximized();
  else
    return failure(QStringLiteral("no window state ") + state);
  return success();
}

Reply drag(const QStringList& fields) {
  QString error;
  QWidget* widget = resolveWidget(fields.value(1), &error);
  if (!widget) return failure(error);
  if (const QString refusal = inputRefusal(widget); !refusal.isEmpty()) return failure(refusal);
  QPoint from;
  QPoint to;
  if (!integers(fields, 2, {&from.rx(), &from.ry(), &to.rx(), &to.ry()}, -kMaxCoordinate, kMaxCoordinate, &error))
    return failure(error);
  if (!widget->rect().contains(from)) return failure(QStringLiteral("the point lies outside ") + describe(widget));
  QPointer<QWidget> target = widget;
  return acting([target, from, to] {
    if (!target) return;
    activate(target);
    QPointer<QWindow> window = target->window()->windowHandle();
    const auto inWindow = [&](QPoint p) { return window->mapFromGlobal(target->mapToGlobal(p)); };
    if (!window) return;
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, inWindow(from));
    // The pointer moves in steps, as a hand moves it.
    constexpr int kSteps = 8;
    for (int step = 1; step <= kSteps && window && target; ++step)
      QTest::mouseMove(window, inWindow(from + (to - from) * step / kSteps));
    if (window && target) QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, inWindow(to));
  });
}

}  // namespace TestDriverCommands
