#include "TransmitStatusBar.h"

#include <QPainter>

#include "TransmitOutcome.h"

TTransmitStatusBar::TTransmitStatusBar(QWidget* parent) : QWidget(parent) {
  setFixedHeight(Height);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TTransmitStatusBar::setStatus(const std::string& status) {
  if (status == status_) return;
  status_ = status;
  update();
}

QString TTransmitStatusBar::shownText() const {
  return QString::fromStdString(TransmitOutcome::PanelFor(status_).text);
}

QSize TTransmitStatusBar::sizeHint() const {
  return {fontMetrics().horizontalAdvance(QStringLiteral("ERROR: Transmission Error!")) + 10, Height};
}

void TTransmitStatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const TransmitOutcome::Panel panel = TransmitOutcome::PanelFor(status_);
  const QRect area = rect();
  // A sunken edge like a status bar panel's; the fill lies inside it.
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(area.topLeft(), area.topRight());
  painter.drawLine(area.topLeft(), area.bottomLeft());
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(area.bottomLeft(), area.bottomRight());
  painter.drawLine(area.topRight(), area.bottomRight());
  const QRect inside = area.adjusted(1, 1, -1, -1);

  int top = inside.top();
  if (panel.fill == TransmitOutcome::Panel::Fill::None) {
    top += 2;
  } else {
    painter.fillRect(inside, panel.fill == TransmitOutcome::Panel::Fill::Green ? QColor(0, 255, 0) : QColor(255, 0, 0));
  }
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(inside.adjusted(5, top - inside.top(), 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdString(panel.text));
}
