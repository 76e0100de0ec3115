#include "ClientArea.h"

#include "Pictures.h"

#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <optional>

TClientArea::TClientArea(QWidget* parent)
    : QMdiArea(parent), background_(Pictures::background()), logo_(Pictures::logo()) {
  setObjectName(QStringLiteral("ClientArea"));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TClientArea::setPaintingHooked(bool hooked) {
  hooked_ = hooked;
  viewport()->update();
}

QPoint TClientArea::logoPosition(const QSize& area) const {
  // Each halving truncates toward zero, as integer division does.
  return QPoint(area.width() / 2 - logo_.width() / 2, area.height() / 2 - logo_.height() / 2);
}

const QPixmap& TClientArea::composedPicture(const QSize& size) {
  if (composedFor_ == size && !composed_.isNull()) return composed_;
  QImage picture(size, QImage::Format_RGB32);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(picture.rect(), background_);
  const QPoint at = logoPosition(size);
  if (!logoOpaque_) {
    painter.drawImage(at, logo_);
    const QPoint left(at.x() - 1, at.y() + 1);
    const QPoint right(at.x() + 1, at.y() + 1);
    if (picture.rect().contains(left) && picture.rect().contains(right) && picture.pixel(left) != picture.pixel(right))
      logoOpaque_ = true;
  }
  if (logoOpaque_) {
    // The logo on a ground of its own: the background colour at its middle row.
    const int row = std::clamp(background_.height() / 2, 0, background_.height() - 1);
    painter.fillRect(QRect(at, logo_.size()), background_.pixelColor(0, row));
    painter.drawImage(at, logo_);
  }
  painter.end();
  composed_ = QPixmap::fromImage(picture);
  composedFor_ = size;
  return composed_;
}

void TClientArea::paintEvent(QPaintEvent* event) {
  if (!hooked_) {
    QMdiArea::paintEvent(event);
    return;
  }
  QPainter painter(viewport());
  painter.drawPixmap(event->rect(), composedPicture(viewport()->size()), event->rect());
}

void TClientArea::resizeEvent(QResizeEvent* event) {
  QMdiArea::resizeEvent(event);
  viewport()->update();
}

void TClientArea::scrollContentsBy(int dx, int dy) {
  QMdiArea::scrollContentsBy(dx, dy);
  viewport()->update();
}

void TClientArea::tile(bool rows) {
  QList<QMdiSubWindow*> windows;
  bool iconsShown = false;
  for (QMdiSubWindow* sub : subWindowList(QMdiArea::CreationOrder)) {
    if (sub->isHidden()) continue;
    if (sub->isMinimized())
      iconsShown = true;
    else
      windows.append(sub);
  }
  if (windows.isEmpty()) return;
  QRect area = viewport()->rect();
  if (iconsShown)  // the row of minimised windows stays uncovered
    area.setBottom(area.bottom() - QMdiSubWindow().minimumSizeHint().height());
  // A grid whose major lines (rows for horizontal tiling) number about the
  // square root of the count; the other direction takes the remainder.
  const int count = int(windows.size());
  const int lines = std::max(1, int(std::floor(std::sqrt(double(count)))));
  int index = 0;
  for (int line = 0; line < lines; ++line) {
    const int inLine = count / lines + (line < count % lines ? 1 : 0);
    for (int k = 0; k < inLine; ++k, ++index) {
      QMdiSubWindow* sub = windows[index];
      if (sub->isMaximized()) sub->showNormal();
      QRect cell;
      if (rows) {
        // `lines` columns, each holding `inLine` rows: windows wider than tall.
        const int x0 = area.left() + area.width() * line / lines;
        const int x1 = area.left() + area.width() * (line + 1) / lines;
        const int y0 = area.top() + area.height() * k / inLine;
        const int y1 = area.top() + area.height() * (k + 1) / inLine;
        cell = QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
      } else {
        const int y0 = area.top() + area.height() * line / lines;
        const int y1 = area.top() + area.height() * (line + 1) / lines;
        const int x0 = area.left() + area.width() * k / inLine;
        const int x1 = area.left() + area.width() * (k + 1) / inLine;
        cell = QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
      }
      // Never below what shows every control of the window: a window that
      // needs more than its cell reaches over its neighbour instead.
      sub->setGeometry(QRect(cell.topLeft(), cell.size().expandedTo(sub->minimumSizeHint())));
    }
  }
}

namespace {

// The first free place for a window of `size` in `within`, from the top left:
// the corner, or right of or below a place already taken.
std::optional<QPoint> firstFreePlace(const QSize& size, const QRect& within, const QList<QRect>& taken) {
  QList<QPoint> corners{within.topLeft()};
  for (const QRect& r : taken) corners << QPoint(r.right() + 1, r.top()) << QPoint(r.left(), r.bottom() + 1);
  std::sort(corners.begin(), corners.end(),
            [](const QPoint& a, const QPoint& b) { return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x(); });
  for (const QPoint& corner : corners) {
    const QRect candidate(corner, size);
    if (within.contains(candidate) &&
        std::none_of(taken.begin(), taken.end(), [&](const QRect& r) { return r.intersects(candidate); }))
      return corner;
  }
  return std::nullopt;
}

// Where each window goes, in order; nothing for one that does not fit.
QList<std::optional<QPoint>> plan(const QList<QMdiSubWindow*>& windows, const QRect& within) {
  QList<std::optional<QPoint>> places;
  QList<QRect> taken;
  for (QMdiSubWindow* sub : windows) {
    places << firstFreePlace(sub->size(), within, taken);
    if (places.last()) taken << QRect(*places.last(), sub->size());
  }
  return places;
}

}  // namespace

void TClientArea::placeSideBySide(const QList<QMdiSubWindow*>& windows) {
  QRect area = viewport()->rect();
  QList<std::optional<QPoint>> places = plan(windows, area);
  if (std::any_of(places.begin(), places.end(), [](const auto& at) { return !at; })) {
    // Room for the row of minimised windows along the bottom.
    area.setBottom(area.bottom() - style()->pixelMetric(QStyle::PM_TitleBarHeight) -
                   2 * style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth));
    places = plan(windows, area);
  }
  QList<QMdiSubWindow*> placed;
  bool minimised = false;
  for (qsizetype i = 0; i < windows.size(); ++i) {
    if (places[i]) {
      windows[i]->showNormal();
      windows[i]->move(*places[i]);
      placed << windows[i];
    } else {
      windows[i]->showMinimized();
      minimised = true;
    }
  }
  if (!minimised) return;
  // The row of minimised windows stays uncovered: a placed window it would
  // still cover joins it, the last placed first.
  for (;;) {
    arrangeIcons();
    QRect icons;
    for (QMdiSubWindow* sub : subWindowList())
      if (sub->isMinimized() && !sub->isHidden()) icons |= sub->geometry();
    if (placed.isEmpty() || !placed.last()->geometry().intersects(icons)) break;
    placed.takeLast()->showMinimized();
  }
}

void TClientArea::tileHorizontally() {
  tile(true);
}

void TClientArea::tileVertically() {
  tile(false);
}

void TClientArea::arrangeIcons() {
  const QRect area = viewport()->rect();
  int x = area.left();
  int y = area.bottom() + 1;
  int rowHeight = 0;
  for (QMdiSubWindow* sub : subWindowList(QMdiArea::CreationOrder)) {
    if (sub->isHidden() || !sub->isMinimized()) continue;
    const QSize size = sub->size();
    if (x > area.left() && x + size.width() > area.right() + 1) {
      x = area.left();  // the row is full: the next one goes above it
      y -= rowHeight;
      rowHeight = 0;
    }
    rowHeight = std::max(rowHeight, size.height());
    sub->move(x, y - size.height());
    x += size.width();
  }
}
