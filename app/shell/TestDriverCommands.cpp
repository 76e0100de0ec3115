#include "TestDriverCommands.h"

#include "ErrorDisplay.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QGroupBox>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>

#include <climits>
#include <initializer_list>
#include <map>
#include <vector>

namespace TestDriverCommands {
namespace {

// How long a command waits for the program to open a menu or activate a
// window: a guard against a hang, never a pause.
constexpr int kUiWaitMs = 10000;

Reply failure(const QString& message) {
  return {false, message, {}};
}
Reply success(const QString& text = QString()) {
  return {true, text, {}};
}
Reply success(const QJsonObject& object) {
  return success(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}
Reply acting(std::function<void()> act) {
  return {true, QString(), std::move(act)};
}

// No window is larger (QWIDGETSIZE_MAX): coordinates and sizes within it
// leave room for any sum or step the commands make of them.
constexpr int kMaxCoordinate = 16777215;

// The fields from `first` on, as many as `values` has, as integers within
// [low, high]; else false with the message naming the first that is not one.
bool integers(const QStringList& fields, qsizetype first, std::initializer_list<int*> values, int low, int high,
              QString* error) {
  for (int* value : values) {
    const QString text = fields.value(first++);
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (!ok || number < low || number > high) {
      *error = QStringLiteral("not a whole number from %1 to %2: %3").arg(low).arg(high).arg(text);
      return false;
    }
    *value = static_cast<int>(number);
  }
  return true;
}

// A caption without its mnemonic marks ("&Load" -> "Load", "&&" -> "&").
QString plain(const QString& caption) {
  QString text;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) ++i;
    text += caption[i];
  }
  return text;
}

QString captionOf(const QObject* object) {
  if (auto* button = qobject_cast<const QAbstractButton*>(object)) return button->text();
  if (auto* label = qobject_cast<const QLabel*>(object)) return label->text();
  if (auto* action = qobject_cast<const QAction*>(object)) return action->text();
  if (auto* group = qobject_cast<const QGroupBox*>(object)) return group->title();
  if (auto* menu = qobject_cast<const QMenu*>(object)) return menu->title();
  return QString();
}

QString describe(const QObject* object) {
  return QString::fromLatin1(object->metaObject()->className()) + QLatin1Char(' ') +
         (object->objectName().isEmpty() ? QStringLiteral("(unnamed)") : object->objectName());
}

// Of several controls that answer to one name, the one a person sees.
QObject* preferVisible(const QList<QObject*>& candidates) {
  for (QObject* candidate : candidates)
    if (auto* widget = qobject_cast<QWidget*>(candidate); widget && widget->isVisible()) return candidate;
  return candidates.isEmpty() ? nullptr : candidates.constFirst();
}

QObject* topLevel(const QString& name) {
  if (name == QLatin1String("@modal")) return QApplication::activeModalWidget();
  if (name == QLatin1String("@popup")) return QApplication::activePopupWidget();
  if (name == QLatin1String("@focus")) return QApplication::focusWidget();
  QList<QObject*> found;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->objectName() == name) found.append(widget);
  return preferVisible(found);
}

QObject* inside(QObject* parent, const QString& step) {
  const bool byCaption = step.startsWith(QLatin1Char('='));
  const QString caption = step.mid(1);
  QList<QObject*> found;
  for (QObject* object : parent->findChildren<QObject*>())
    if (byCaption ? !captionOf(object).isEmpty() && plain(captionOf(object)) == caption : object->objectName() == step)
      found.append(object);
  return preferVisible(found);
}

// The object a PATH names, or null with the reason in `error`.
QObject* resolve(const QString& path, QString* error) {
  const QStringList steps = path.split(QLatin1Char('/'));
  QObject* object = topLevel(steps.constFirst());
  if (!object) {
    *error = QStringLiteral("no window ") + steps.constFirst();
    return nullptr;
  }
  for (qsizetype i = 1; i < steps.size(); ++i) {
    QObject* next = inside(object, steps[i]);
    if (!next) {
      *error = QStringLiteral("nothing named %1 inside %2").arg(steps[i], describe(object));
      return nullptr;
    }
    object = next;
  }
  return object;
}

QWidget* resolveWidget(const QString& path, QString* error) {
  QObject* object = resolve(path, error);
  if (!object) return nullptr;
  auto* widget = qobject_cast<QWidget*>(object);
  if (!widget) *error = describe(object) + QStringLiteral(" is no control");
  return widget;
}

// What a person sees of a window: an MDI child with its frame.
QWidget* framed(QWidget* widget) {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget()); sub && sub->widget() == widget) return sub;
  return widget;
}

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

QString valueText(const QVariant& value) {
  if (value.typeId() == QMetaType::QRect) {
    const QRect r = value.toRect();
    return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
  }
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
  return value.toString();
}

QString shownText(QObject* object) {
  if (auto* display = qobject_cast<ErrorDisplay*>(object)) return display->displayText();
  if (auto* box = qobject_cast<QMessageBox*>(object)) return box->text();
  if (auto* edit = qobject_cast<QLineEdit*>(object)) return edit->text();
  if (auto* spin = qobject_cast<QAbstractSpinBox*>(object)) return spin->text();
  if (auto* combo = qobject_cast<QComboBox*>(object)) return combo->currentText();
  if (auto* slider = qobject_cast<QAbstractSlider*>(object)) return QString::number(slider->value());
  if (auto* tabs = qobject_cast<QTabWidget*>(object)) return tabs->tabText(tabs->currentIndex());
  if (auto* widget = qobject_cast<QWidget*>(object); widget && widget->isWindow() && captionOf(object).isEmpty())
    return widget->windowTitle();
  // A caption shows its mnemonic as an underline, not as "&"; so does a
  // label's when it names a buddy.
  if (auto* label = qobject_cast<QLabel*>(object); label && !label->buddy()) return label->text();
  return plain(captionOf(object));
}

QJsonArray rectArray(const QRect& r) {
  return QJsonArray{r.x(), r.y(), r.width(), r.height()};
}

QString dockSiteName(Qt::DockWidgetArea area) {
  switch (area) {
    case Qt::LeftDockWidgetArea:
      return QStringLiteral("left");
    case Qt::RightDockWidgetArea:
      return QStringLiteral("right");
    case Qt::TopDockWidgetArea:
      return QStringLiteral("top");
    case Qt::BottomDockWidgetArea:
      return QStringLiteral("bottom");
    default:
      return QStringLiteral("none");
  }
}

// ---- commands ---------------------------------------------------------------

Reply find(const QString& path) {
  QString error;
  QObject* object = resolve(path, &error);
  if (!object) return failure(error);
  QJsonObject state{{"class", QString::fromLatin1(object->metaObject()->className())}};
  if (auto* widget = qobject_cast<QWidget*>(object)) {
    state["visible"] = widget->isVisible();
    state["enabled"] = widget->isEnabled();
    state["focus"] = widget->hasFocus();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) state["checked"] = button->isChecked();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) state["checked"] = group->isChecked();
  } else if (auto* action = qobject_cast<QAction*>(object)) {
    state["visible"] = action->isVisible();
    state["enabled"] = action->isEnabled();
    state["checked"] = action->isChecked();
  }
  return success(state);
}

Reply text(const QString& path) {
  QString error;
  QObject* object = resolve(path, &error);
  return object ? success(shownText(object)) : failure(error);
}

Reply property(const QString& path, const QString& name) {
  QString error;
  QObject* object = resolve(path, &error);
  if (!object) return failure(error);
  const QVariant value = object->property(name.toLatin1().constData());
  if (!value.isValid()) return failure(describe(object) + QStringLiteral(" has no property ") + name);
  return success(valueText(value));
}

Reply items(const QString& path) {
  QString error;
  QWidget* widget = resolveWidget(path, &error);
  if (!widget) return failure(error);
  QJsonArray list;
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    for (int i = 0; i < combo->count(); ++i) list.append(combo->itemText(i));
  } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
    for (int i = 0; i < tabs->count(); ++i) list.append(tabs->tabText(i));
  } else if (auto* view = qobject_cast<QAbstractItemView*>(widget); view && view->model()) {
    for (int row = 0; row < view->model()->rowCount(); ++row)
      list.append(view->model()->index(row, 0).data().toString());
  } else {
    return failure(describe(widget) + QStringLiteral(" holds no items"));
  }
  return success(QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)));
}

Reply rows(const QStringList& fields) {
  QString error;
  QWidget* widget = resolveWidget(fields.value(1), &error);
  if (!widget) return failure(error);
  auto* view = qobject_cast<QAbstractItemView*>(widget);
  if (!view || !view->model()) return failure(describe(widget) + QStringLiteral(" is no table or list"));
  const QAbstractItemModel& model = *view->model();
  const int count = model.rowCount();
  int first = 0;
  int wanted = count;
  if (fields.size() > 2 && !integers(fields, 2, {&first}, 0, INT_MAX, &error)) return failure(error);
  if (fields.size() > 3 && !integers(fields, 3, {&wanted}, 0, INT_MAX, &error)) return failure(error);
  QJsonArray lines;
  for (int row = first; row < count && row - first < wanted; ++row) {
    QJsonArray cells;
    for (int column = 0; column < model.columnCount(); ++column)
      cells.append(model.index(row, column).data().toString());
    lines.append(cells);
  }
  return success(QJsonObject{{"count", count}, {"rows", lines}});
}

Reply modal() {
  QWidget* dialog = QApplication::activeModalWidget();
  if (!dialog) return success(QStringLiteral("none"));
  auto* box = qobject_cast<QMessageBox*>(dialog);
  return success(QJsonObject{{"class", QString::fromLatin1(dialog->metaObject()->className())},
                             {"name", dialog->objectName()},
                             {"title", dialog->windowTitle()},
                             {"text", box ? box->text() : QString()}});
}

QJsonObject windowState(QWidget* window) {
  return QJsonObject{{"name", window->objectName()},
                     {"class", QString::fromLatin1(window->metaObject()->className())},
                     {"title", window->windowTitle()},
                     {"visible", window->isVisible()},
                     {"active", window->isActiveWindow()},
                     {"minimized", window->isMinimized()},
                     {"maximized", window->isMaximized()},
                     {"geometry", rectArray(window->geometry())},
                     {"normalGeometry", rectArray(window->normalGeometry())}};
}

Reply windows() {
  QJsonArray tops;
  QJsonArray children;
  QJsonArray docks;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* main = qobject_cast<QMainWindow*>(window);
    if (!main && !window->isVisible()) continue;
    if (qobject_cast<QMenu*>(window) || qobject_cast<QDockWidget*>(window)) continue;
    tops.append(windowState(window));
    if (!main) continue;
    for (QMdiArea* area : main->findChildren<QMdiArea*>()) {
      for (QMdiSubWindow* sub : area->subWindowList()) {
        QJsonObject state = windowState(sub);
        state["name"] = sub->widget() ? sub->widget()->objectName() : QString();
        state["active"] = area->activeSubWindow() == sub;
        children.append(state);
      }
    }
    for (QDockWidget* dock : main->findChildren<QDockWidget*>()) {
      QJsonObject state = windowState(dock);
      state["floating"] = dock->isFloating();
      state["site"] = dock->isFloating() ? QStringLiteral("none") : dockSiteName(main->dockWidgetArea(dock));
      docks.append(state);
    }
  }
  return success(QJsonObject{{"windows", tops}, {"children", children}, {"docks", docks}});
}

Reply pixel(const QStringList& fields) {
  QString error;
  QWidget* widget = resolveWidget(fields.value(1), &error);
  if (!widget) return failure(error);
  int x = 0;
  int y = 0;
  if (!integers(fields, 2, {&x, &y}, -kMaxCoordinate, kMaxCoordinate, &error)) return failure(error);
  const QPoint at(x, y);
  if (!widget->rect().contains(at)) return failure(QStringLiteral("the point lies outside ") + describe(widget));
  return success(widget->grab().toImage().pixelColor(at).name());
}

Reply grab(const QString& path, const QString& file) {
  QPixmap picture;
  if (path == QLatin1String("@screen")) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return failure(QStringLiteral("no screen"));
    picture = screen->grabWindow(0);
  } else {
    QString error;
    QWidget* widget = resolveWidget(path, &error);
    if (!widget) return failure(error);
    if (!widget->isVisible()) return failure(describe(widget) + QStringLiteral(" is not shown"));
    picture = framed(widget)->grab();
  }
  // Quality 0: the PNG writer's strongest compression, for the smallest file.
  if (picture.isNull() || !picture.save(file, "PNG", 0)) return failure(QStringLiteral("cannot write ") + file);
  return success(QStringLiteral("%1x%2").arg(picture.width()).arg(picture.height()));
}

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

}  // namespace

Reply run(const QStringList& fields) {
  const QString command = fields.value(0);
  const auto needs = [&fields](int count) { return fields.size() >= count + 1; };
  if (command == QLatin1String("ping")) return success();
  if (command == QLatin1String("modal")) return modal();
  if (command == QLatin1String("windows")) return windows();
  if (command == QLatin1String("find") && needs(1)) return find(fields[1]);
  if (command == QLatin1String("text") && needs(1)) return text(fields[1]);
  if (command == QLatin1String("property") && needs(2)) return property(fields[1], fields[2]);
  if (command == QLatin1String("items") && needs(1)) return items(fields[1]);
  if (command == QLatin1String("rows") && needs(1)) return rows(fields);
  if (command == QLatin1String("pixel") && needs(3)) return pixel(fields);
  if (command == QLatin1String("grab") && needs(2)) return grab(fields[1], fields[2]);
  if (command == QLatin1String("click") && needs(1)) return click(fields);
  if (command == QLatin1String("fill") && needs(2)) return typeInto(fields, true);
  if (command == QLatin1String("type") && needs(2)) return typeInto(fields, false);
  if (command == QLatin1String("key") && needs(2)) return key(fields[1], fields[2]);
  if (command == QLatin1String("menu") && needs(1)) return menu(fields[1]);
  if (command == QLatin1String("tab") && needs(2)) return tab(fields[1], fields[2]);
  if (command == QLatin1String("filedialog") && needs(1)) return fileDialog(fields[1]);
  if (command == QLatin1String("setgeometry") && needs(5)) return setGeometry(fields);
  if (command == QLatin1String("windowstate") && needs(2)) return windowState(fields[1], fields[2]);
  if (command == QLatin1String("drag") && needs(5)) return drag(fields);
  return failure(QStringLiteral("unknown command or missing fields: ") + fields.join(QLatin1Char(' ')));
}

}  // namespace TestDriverCommands
