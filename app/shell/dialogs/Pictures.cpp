#include "Pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kChipBody(34, 38, 46);
const QColor kChipEdge(120, 132, 150);
const QColor kPin(196, 200, 206);
const QColor kBusHigh(236, 180, 60);
const QColor kBusLow(70, 150, 230);

// A chip with pins on its four sides, centred in `body`.
void drawChip(QPainter& painter, const QRectF& body, const QString& label) {
  const int pinsPerSide = 6;
  const qreal pinLength = body.width() * 0.09;
  const qreal pinWidth = body.width() / (pinsPerSide * 2.6);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kPin);
  for (int i = 0; i < pinsPerSide; ++i) {
    const qreal fx = body.left() + body.width() * (i + 0.5) / pinsPerSide - pinWidth / 2;
    const qreal fy = body.top() + body.height() * (i + 0.5) / pinsPerSide - pinWidth / 2;
    painter.drawRect(QRectF(fx, body.top() - pinLength, pinWidth, pinLength));
    painter.drawRect(QRectF(fx, body.bottom(), pinWidth, pinLength));
    painter.drawRect(QRectF(body.left() - pinLength, fy, pinLength, pinWidth));
    painter.drawRect(QRectF(body.right(), fy, pinLength, pinWidth));
  }
  painter.setPen(QPen(kChipEdge, 2));
  painter.setBrush(kChipBody);
  painter.drawRoundedRect(body, 6, 6);
  painter.setBrush(kChipEdge);
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(QRectF(body.left() + 8, body.top() + 8, 7, 7));  // pin 1 mark
  if (label.isEmpty()) return;
  QFont font(QStringLiteral("Sans"));
  font.setBold(true);
  font.setPixelSize(qRound(body.height() * 0.28));
  painter.setFont(font);
  painter.setPen(QColor(230, 234, 240));
  painter.drawText(body, Qt::AlignCenter, label);
}

// The two wires of a CAN bus, with a few bits on them. `spread` is how far a
// wire stands from the middle on a dominant bit.
void drawBus(QPainter& painter, qreal left, qreal right, qreal y, qreal spread = 10, qreal width = 3) {
  const qreal step = (right - left) / 16;
  const int bits[16] = {1, 0, 0, 1, 0, 1, 1, 1, 0, 1, 0, 0, 1, 1, 0, 1};
  const qreal recessive = spread * 0.4;
  QPainterPath high;
  QPainterPath low;
  high.moveTo(left, y - (bits[0] ? spread : recessive));
  low.moveTo(left, y + (bits[0] ? spread : recessive));
  for (int i = 0; i < 16; ++i) {
    const qreal dy = bits[i] ? spread : recessive;  // dominant bits spread the wires apart
    high.lineTo(left + i * step, y - dy);
    high.lineTo(left + (i + 1) * step, y - dy);
    low.lineTo(left + i * step, y + dy);
    low.lineTo(left + (i + 1) * step, y + dy);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kBusHigh, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(high);
  painter.setPen(QPen(kBusLow, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(low);
}

}  // namespace

QImage Pictures::background() {
  QImage image(16, 512, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, 0, image.height());
  gradient.setColorAt(0.0, QColor(92, 118, 142));
  gradient.setColorAt(0.55, QColor(58, 80, 102));
  gradient.setColorAt(1.0, QColor(30, 44, 60));
  painter.fillRect(image.rect(), gradient);
  return image;
}

QImage Pictures::logo() {
  QImage image(300, 190, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  drawBus(painter, 14, 286, 62);
  drawChip(painter, QRectF(105, 18, 90, 88), QStringLiteral("CAN"));

  QFont font(QStringLiteral("Sans"));
  font.setBold(true);
  font.setPixelSize(44);
  painter.setFont(font);
  const QRectF nameBox(0, 118, image.width(), 52);
  painter.setPen(QColor(0, 0, 0, 110));
  painter.drawText(nameBox.translated(2, 2), Qt::AlignCenter, QStringLiteral("Vorelan"));
  painter.setPen(QColor(244, 246, 250));
  painter.drawText(nameBox, Qt::AlignCenter, QStringLiteral("Vorelan"));
  font.setBold(false);
  font.setPixelSize(13);
  painter.setFont(font);
  painter.setPen(QColor(210, 220, 232));
  painter.drawText(QRectF(0, 168, image.width(), 20), Qt::AlignCenter,
                   QStringLiteral("CAN cell tool for 8-bit micros"));
  return image;
}

QImage Pictures::aboutPicture() {
  QImage image(145, 160, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, 0, image.height());
  gradient.setColorAt(0.0, QColor(92, 118, 142));
  gradient.setColorAt(1.0, QColor(30, 44, 60));
  painter.fillRect(image.rect(), gradient);
  drawBus(painter, 6, 139, 62);
  drawChip(painter, QRectF(37, 28, 70, 68), QStringLiteral("CAN"));
  QFont font(QStringLiteral("Sans"));
  font.setBold(true);
  font.setPixelSize(20);
  painter.setFont(font);
  painter.setPen(QColor(244, 246, 250));
  painter.drawText(QRectF(0, 112, image.width(), 30), Qt::AlignCenter, QStringLiteral("Vorelan"));
  return image;
}

QImage Pictures::icon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 128.0, size / 128.0);  // drawn on a 128 x 128 grid
  QLinearGradient gradient(0, 0, 0, 128);
  gradient.setColorAt(0.0, QColor(92, 118, 142));
  gradient.setColorAt(1.0, QColor(30, 44, 60));
  painter.setPen(Qt::NoPen);
  painter.setBrush(gradient);
  painter.drawRoundedRect(QRectF(4, 4, 120, 120), 22, 22);
  drawBus(painter, 12, 116, 64, 22, 7);
  drawChip(painter, QRectF(37, 37, 54, 54), QString());
  return image;
}
