#include "HintPanel.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QStatusTipEvent>

QString Hint::shortPart(const QString& hint) {
  const qsizetype bar = hint.indexOf(u'|');
  return bar < 0 ? hint : hint.left(bar);
}

QString Hint::longPart(const QString& hint) {
  const qsizetype bar = hint.indexOf(u'|');
  return bar < 0 ? hint : hint.mid(bar + 1);
}

void Hint::apply(QWidget* widget, const QString& hint) {
  widget->setToolTip(shortPart(hint));
  widget->setStatusTip(longPart(hint));
}

void Hint::apply(QAction* action, const QString& hint) {
  action->setToolTip(shortPart(hint));
  action->setStatusTip(longPart(hint));
}

THintPanel::THintPanel(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("HintPanel"));
  setMinimumWidth(kMinimumWidth);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  setTextFormat(Qt::PlainText);
}

void THintPanel::attachTo(QMainWindow* mainWindow) {
  mainWindow_ = mainWindow;
  // Qt passes a status tip up from the control to its window and no further:
  // the tips of a floating dock window or a dialog never reach the main
  // window. The application sees each of them first, at the control.
  QCoreApplication::instance()->installEventFilter(this);
}

void THintPanel::detach() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  mainWindow_ = nullptr;
}

bool THintPanel::belongsToMainWindow(const QWidget* widget) const {
  // A window's owner is its parent widget's window; the main window ends the chain.
  for (const QWidget* window = widget->window(); window;
       window = window->parentWidget() ? window->parentWidget()->window() : nullptr)
    if (window == mainWindow_) return true;
  return false;
}

void THintPanel::showNow(const QString& text) {
  setText(text);
  if (isVisible()) repaint();
}

bool THintPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::StatusTip && mainWindow_ && watched->isWidgetType() &&
      belongsToMainWindow(static_cast<QWidget*>(watched))) {
    setText(static_cast<QStatusTipEvent*>(event)->tip());
    return true;  // the panel, not QStatusBar's message area, shows hints
  }
  return QLabel::eventFilter(watched, event);
}
