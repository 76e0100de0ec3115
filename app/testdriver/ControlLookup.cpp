#include "ControlLookup.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QWidget>

namespace TestDriverCommands {
namespace {

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

}  // namespace

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

QWidget* framed(QWidget* widget) {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget()); sub && sub->widget() == widget) return sub;
  return widget;
}

}  // namespace TestDriverCommands
