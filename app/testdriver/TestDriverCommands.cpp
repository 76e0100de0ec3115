#include "TestDriverCommands.h"

#include "CommandSupport.h"
#include "ControlLookup.h"
#include "InputCommands.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QTabWidget>

#include <climits>

namespace TestDriverCommands {
namespace {

QString valueText(const QVariant& value) {
  if (value.typeId() == QMetaType::QRect) {
    const QRect r = value.toRect();
    return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
  }
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
  return value.toString();
}

// The driver knows no class of the program: a control of the program whose
// text is its own drawing declares it as its property "shownText" (the error
// display's "ERROR: ..." or "Connection OK").
QString shownText(QObject* object) {
  if (const QVariant shown = object->property("shownText"); shown.isValid()) return shown.toString();
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
