#include "HintPanel.h"

#include <QAction>
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

HintPanel::HintPanel(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("HintPanel"));
  setMinimumWidth(kMinimumWidth);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  setTextFormat(Qt::PlainText);
}

void HintPanel::attachTo(QMainWindow* mainWindow) {
  mainWindow->installEventFilter(this);
}

void HintPanel::showNow(const QString& text) {
  setText(text);
  if (isVisible()) repaint();
}

bool HintPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    setText(static_cast<QStatusTipEvent*>(event)->tip());
    return true;  // the panel, not QStatusBar's message area, shows hints
  }
  return QLabel::eventFilter(watched, event);
}
