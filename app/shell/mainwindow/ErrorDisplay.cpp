#include "ErrorDisplay.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace {

const QColor kErrorColour(255, 0, 0);
const QColor kOkColour(0, 255, 0);
const QPoint kTextOffset(5, 2);

}  // namespace

const QString TErrorDisplay::ConnectingText = QStringLiteral("Connecting...");

TErrorDisplay::TErrorDisplay(QWidget* parent) : QWidget(parent), hold_(new QTimer(this)) {
  setObjectName(QStringLiteral("ErrorDisplay"));
  setFixedWidth(kWidth);
  setMinimumHeight(fontMetrics().height() + kTextOffset.y());
  if (parent) parent->installEventFilter(this);  // the status bar's resizing
  // Keys and mouse buttons anywhere in the program are the person's actions.
  if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
  hold_->setSingleShot(true);
  hold_->setInterval(kErrorHoldTime);
  connect(hold_, &QTimer::timeout, this, &TErrorDisplay::holdEnded);
}

QString TErrorDisplay::displayText() const {
  if (!text_.isEmpty()) return QStringLiteral("ERROR: ") + text_;
  return notice_.isEmpty() ? QStringLiteral("Connection OK") : notice_;
}

QSize TErrorDisplay::sizeHint() const {
  return QSize(kWidth, kHeight);
}

void TErrorDisplay::fitText() {
  const int wanted = fontMetrics().horizontalAdvance(displayText()) + 2 * kTextOffset.x();
  const int room = parentWidget() ? parentWidget()->contentsRect().width() : wanted;
  setFixedWidth(std::max(kWidth, std::min(wanted, room)));
}

bool TErrorDisplay::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) fitText();
  if (waitsForAction_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress)) newAction();
  return QWidget::eventFilter(watched, event);
}

void TErrorDisplay::showNotice(const QString& notice) {
  notice_ = notice;
  fitText();
  if (text_.isEmpty()) setToolTip(QString());
  if (isVisible()) repaint();
}

void TErrorDisplay::clearNotice() {
  if (notice_.isEmpty()) return;
  notice_.clear();
  fitText();
  if (isVisible()) repaint();
}

void TErrorDisplay::newAction() {
  if (!waitsForAction_) return;
  waitsForAction_ = false;
  if (clearPending_ && !hold_->isActive()) holdEnded();
}

void TErrorDisplay::setText(const QString& text) {
  clearPending_ = false;
  waitsForAction_ = !text.isEmpty();
  clearNotice();
  if (text.isEmpty())
    hold_->stop();
  else
    hold_->start();  // a repeated error is held anew
  apply(text);
  if (!text.isEmpty()) emit errorReported(text);
}

void TErrorDisplay::showStatus(const QString& status) {
  clearNotice();
  if (!status.isEmpty()) {
    setText(status);
    waitsForAction_ = false;  // a pass's error needs no action to give way
    return;
  }
  if (!hold_->isActive() && !waitsForAction_) {
    setText(status);
    return;
  }
  clearPending_ = true;
}

void TErrorDisplay::holdEnded() {
  if (!clearPending_ || waitsForAction_) return;
  clearPending_ = false;
  apply(QString());
}

void TErrorDisplay::apply(const QString& text) {
  if (text == text_) return;
  text_ = text;
  // Qt takes a tool tip that looks like markup for rich text: escaped, the
  // message shows as written.
  setToolTip(text_.isEmpty() ? QString() : QStringLiteral("<qt>%1</qt>").arg(text_.toHtmlEscaped()));
  fitText();
  if (isVisible()) repaint();
  emit textChanged(text_);
}

void TErrorDisplay::showMessageQueued(const QString& text) {
  QMetaObject::invokeMethod(this, "setText", Qt::QueuedConnection, Q_ARG(QString, text));
}

void TErrorDisplay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor fill = !text_.isEmpty()    ? kErrorColour
                      : notice_.isEmpty() ? kOkColour
                                          : palette().color(QPalette::Window);
  painter.fillRect(rect(), fill);
  painter.setPen(Qt::black);
  const QRect textRect = rect().adjusted(kTextOffset.x(), kTextOffset.y(), 0, 0);
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, displayText());
}
