#include "BitButton.h"

#include <QMouseEvent>
#include <QPainter>

TBitButton::TBitButton(const QString &caption, QWidget *parent) : QFrame(parent), m_caption(caption) {
  setFrameShape(QFrame::Panel);
  setLineWidth(2);
  setFrameShadow(QFrame::Raised);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
}

void TBitButton::setSunken(bool sunken) {
  if (sunken == m_sunken) return;
  m_sunken = sunken;
  setFrameShadow(sunken ? QFrame::Sunken : QFrame::Raised);
  update();
}

void TBitButton::paintEvent(QPaintEvent *event) {
  QPainter painter(this);
  // A slightly darker face makes a set bit easy to tell from a clear one.
  if (m_sunken) painter.fillRect(contentsRect(), palette().color(QPalette::Button).darker(118));
  painter.end();
  QFrame::paintEvent(event);
  painter.begin(this);
  QRect area = contentsRect();
  if (m_sunken) area.translate(1, 1);  // the caption moves with the pressed-in face
  painter.setClipRect(contentsRect());
  painter.setPen(palette().color(QPalette::ButtonText));
  painter.drawText(area, Qt::AlignCenter, m_caption);
}

void TBitButton::mousePressEvent(QMouseEvent *event) {
  event->accept();
  emit pressed(this);
}

void TBitButton::mouseDoubleClickEvent(QMouseEvent *event) {
  event->accept();
  emit pressed(this);
}
