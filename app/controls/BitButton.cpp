#include "BitButton.h"

#include <QMouseEvent>
#include <QPainter>

TBitButton::TBitButton(const QString& caption, QWidget* parent) : QFrame(parent), caption_(caption) {
  setFrameShape(QFrame::Panel);
  setLineWidth(2);
  setFrameShadow(QFrame::Raised);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
}

void TBitButton::setSunken(bool sunken) {
  if (sunken == sunken_) return;
  sunken_ = sunken;
  setFrameShadow(sunken ? QFrame::Sunken : QFrame::Raised);
  update();
}

void TBitButton::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  // A slightly darker face makes a set bit easy to tell from a clear one.
  if (sunken_) painter.fillRect(contentsRect(), palette().color(QPalette::Button).darker(118));
  painter.end();
  QFrame::paintEvent(event);
  painter.begin(this);
  QRect area = contentsRect();
  if (sunken_) area.translate(1, 1);  // the caption moves with the pressed-in face
  painter.setClipRect(contentsRect());
  painter.setPen(palette().color(QPalette::ButtonText));
  painter.drawText(area, Qt::AlignCenter, caption_);
}

void TBitButton::mousePressEvent(QMouseEvent* event) {
  event->accept();
  emit pressed(this);
}

void TBitButton::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  emit pressed(this);
}
