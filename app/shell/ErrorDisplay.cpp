#include "ErrorDisplay.h"

#include <QMetaObject>
#include <QPainter>

namespace {

const QColor kErrorColour(255, 0, 0);
const QColor kOkColour(0, 255, 0);
const QPoint kTextOffset(5, 2);

}  // namespace

ErrorDisplay::ErrorDisplay(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ErrorDisplay"));
  setFixedWidth(kWidth);
  setMinimumHeight(fontMetrics().height() + kTextOffset.y());
}

QString ErrorDisplay::displayText() const {
  return text_.isEmpty() ? QStringLiteral("Connection OK") : QStringLiteral("ERROR: ") + text_;
}

QSize ErrorDisplay::sizeHint() const {
  return QSize(kWidth, kHeight);
}

void ErrorDisplay::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  setToolTip(text_);
  if (isVisible()) repaint();
}

void ErrorDisplay::showMessageQueued(const QString& text) {
  QMetaObject::invokeMethod(this, "setText", Qt::QueuedConnection, Q_ARG(QString, text));
}

void ErrorDisplay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), text_.isEmpty() ? kOkColour : kErrorColour);
  painter.setPen(Qt::black);
  const QRect textRect = rect().adjusted(kTextOffset.x(), kTextOffset.y(), 0, 0);
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, displayText());
}
