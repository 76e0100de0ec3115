#include "Filters.h"

#include <QFontMetrics>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <stdexcept>

#include "FilterMatch.h"

namespace {

// Scale labels: upper-case hexadecimal, at least 3 digits.
QString hexLabel(qint64 v) {
  return QString::number(quint32(v), 16).toUpper().rightJustified(3, QLatin1Char('0'));
}

QString rangeError(qint64 low, qint64 high) {
  return QString::asprintf("Value must be between %lld and %lld", static_cast<long long>(low),
                           static_cast<long long>(high));
}

quint16 clampToId(qint64 v) {
  return quint16(std::clamp<qint64>(v, 0, 0xFFFF));
}

qint64 floorDiv(qint64 a, qint64 b) {
  const qint64 q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

qint64 ceilDiv(qint64 a, qint64 b) {
  return -floorDiv(-a, b);
}

FilterMatch::Filter matchOf(quint16 id, quint16 mask) {
  return FilterMatch::Filter{id, mask};
}

// Collects horizontal spans of marked pixel columns and fills each run of
// touching spans with one call.
class ColumnRuns {
 public:
  ColumnRuns(QPainter& p, int top, int height, const QColor& color)
      : p_(p), top_(top), height_(height), color_(color) {}
  ~ColumnRuns() { flush(); }
  void add(qint64 from, qint64 to) {  // columns [from, to)
    if (open_ && from <= end_) {
      end_ = std::max(end_, to);
      return;
    }
    flush();
    open_ = true;
    begin_ = from;
    end_ = to;
  }

 private:
  void flush() {
    if (open_) p_.fillRect(QRect(int(begin_), top_, int(end_ - begin_), height_), color_);
    open_ = false;
  }
  QPainter& p_;
  int top_;
  int height_;
  QColor color_;
  bool open_ = false;
  qint64 begin_ = 0;
  qint64 end_ = 0;
};

}  // namespace

TFilters::TFilters(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  color_ = palette().color(QPalette::Window);
  for (int i = 0; i < FilterCount; ++i) filters_[i].name = QStringLiteral("Filter%1").arg(i + 1);
  filters_[0].visible = true;
  resize(100, 100);
}

TFilters::~TFilters() = default;

TFilters::Filter* TFilters::filterAt(int index) {
  return (index >= 1 && index <= FilterCount) ? &filters_[index - 1] : nullptr;
}

const TFilters::Filter* TFilters::filterAt(int index) const {
  return (index >= 1 && index <= FilterCount) ? &filters_[index - 1] : nullptr;
}

void TFilters::changed() {
  if (paintEnabled_) update();
}

void TFilters::setMinValue(int v) {
  if (v > maxValue_) throw std::invalid_argument(rangeError(-2147483647, qint64(maxValue_) - 1).toStdString());
  if (v == minValue_) return;
  minValue_ = v;
  for (Filter& f : filters_)
    if (f.id < v) f.id = clampToId(v);
  changed();
}

void TFilters::setMaxValue(int v) {
  if (v < minValue_) throw std::invalid_argument(rangeError(qint64(minValue_) + 1, 2147483647).toStdString());
  if (v == maxValue_) return;
  maxValue_ = v;
  for (Filter& f : filters_)
    if (f.id > v) f.id = clampToId(v);
  changed();
}

void TFilters::setScaleSteps(quint16 steps) {
  if (steps == scaleSteps_) return;
  scaleSteps_ = steps;
  changed();
}

void TFilters::setScaleLittleSteps(quint16 steps) {
  if (steps == scaleLittleSteps_) return;
  scaleLittleSteps_ = steps;
  changed();
}

void TFilters::setBackColor(const QColor& c) {
  if (c == backColor_) return;
  backColor_ = c;
  changed();
}

void TFilters::setScaleColor(const QColor& c) {
  if (c == scaleColor_) return;
  scaleColor_ = c;
  changed();
}

void TFilters::setColor(const QColor& c) {
  if (c == color_) return;
  color_ = c;
  changed();
}

void TFilters::setMouseCapture(bool capture) {
  mouseCapture_ = capture;
  if (capture && isVisible())
    grabMouse();
  else if (!capture)
    releaseMouse();
}

void TFilters::showEvent(QShowEvent* event) {
  QFrame::showEvent(event);
  if (mouseCapture_) grabMouse();
}

void TFilters::hideEvent(QHideEvent* event) {
  if (mouseCapture_) releaseMouse();
  QFrame::hideEvent(event);
}

void TFilters::setFilterColor(int index, const QColor& c) {
  if (Filter* f = filterAt(index)) {
    f->color = c;
    changed();
  }
}

void TFilters::setFilterID(int index, quint16 id) {
  if (Filter* f = filterAt(index)) {
    f->id = id;
    changed();
  }
}

void TFilters::setFilterMask(int index, quint16 mask) {
  if (Filter* f = filterAt(index)) {
    f->mask = mask;
    changed();
  }
}

void TFilters::setFilterVisible(int index, bool visible) {
  if (Filter* f = filterAt(index)) {
    f->visible = visible;
    changed();
  }
}

void TFilters::setFilterName(int index, const QString& name) {
  if (Filter* f = filterAt(index)) {
    f->name = name;
    changed();
  }
}

QString TFilters::getFilterName(int index) const {
  const Filter* f = filterAt(index);
  return f ? f->name : QString();
}

quint16 TFilters::filterID(int index) const {
  const Filter* f = filterAt(index);
  return f ? f->id : 0;
}

quint16 TFilters::filterMask(int index) const {
  const Filter* f = filterAt(index);
  return f ? f->mask : 0;
}

QColor TFilters::filterColor(int index) const {
  const Filter* f = filterAt(index);
  return f ? f->color : QColor();
}

bool TFilters::filterVisible(int index) const {
  const Filter* f = filterAt(index);
  return f && f->visible;
}

const QPixmap& TFilters::renderOffscreen() {
  const QSize size = contentsRect().size();
  Layout layout;
  layout.painted = true;
  if (size.isEmpty()) {
    pixmap_ = QPixmap();
    layout_ = layout;
    return pixmap_;
  }
  const qreal dpr = devicePixelRatioF();
  const QSize deviceSize = (QSizeF(size) * dpr).toSize();
  if (pixmap_.size() != deviceSize) pixmap_ = QPixmap(deviceSize);
  pixmap_.setDevicePixelRatio(dpr);
  if (pixmap_.isNull()) {  // a size no pixmap can have
    layout_ = layout;
    return pixmap_;
  }

  QPainter p(&pixmap_);
  p.setFont(font());
  const QFontMetrics fm = p.fontMetrics();
  const int textHeight = fm.height();

  // Drawing rectangle: below the scale band, indented by half a label so the
  // end labels fit, and right of the name column.
  layout.top = textHeight + 5;
  layout.bottom = size.height();
  const int halfLabel = fm.horizontalAdvance(hexLabel(minValue_)) / 2;
  layout.left = halfLabel;
  layout.right = size.width() - halfLabel;
  p.fillRect(QRect(QPoint(0, 0), size), color_);
  int nameColumn = 0;
  for (const Filter& f : filters_) nameColumn = std::max(nameColumn, fm.horizontalAdvance(f.name));
  layout.left += nameColumn;
  layout_ = layout;

  drawScale(p, fm);

  // Rows go to the visible filters in index order, one after the other.
  for (int i = 1; i <= FilterCount; ++i)
    if (filterAt(i)->visible) layout_.rows.append(i);
  if (!layout_.rows.isEmpty()) {
    layout_.rowHeight = std::max(0, (layout_.bottom - layout_.top) / int(layout_.rows.size()));
    for (int r = 0; r < layout_.rows.size(); ++r)
      drawRow(p, fm, *filterAt(layout_.rows.at(r)), layout_.top + r * layout_.rowHeight);
  }
  return pixmap_;
}

void TFilters::drawScale(QPainter& p, const QFontMetrics& fm) {
  const int h = fm.height();
  const int steps = std::max<int>(1, scaleSteps_);  // 0 steps would divide by zero
  const qint64 span = qint64(layout_.right) - layout_.left;
  const qint64 valueSpan = qint64(maxValue_) - minValue_;
  const QPen tickPen(Qt::black, 1);
  int previousX = 0;
  for (int i = 0; i <= steps; ++i) {
    const int x = int(layout_.left + span * i / steps);
    // More steps than columns: a step that lands on the column of the
    // previous one would only overdraw it; skipping it bounds the cost by
    // the width.
    if (i > 0 && x == previousX) continue;
    previousX = x;
    p.setPen(tickPen);
    p.drawLine(x, h, x, h + 4);  // down to h + 5, end point excluded
    if (i < steps && scaleLittleSteps_ > 1) {
      const qint64 stepWidth = span / steps;
      const qint64 columns = stepWidth < 0 ? -stepWidth : stepWidth;
      if (scaleLittleSteps_ <= columns) {
        for (int k = 1; k < scaleLittleSteps_; ++k) {
          const int xs = int(stepWidth * k / scaleLittleSteps_ + x);
          p.drawLine(xs, h + 3, xs, h + 4);
        }
      } else {
        // More small ticks than columns: they fall on every column of the
        // step, so draw each column once instead of up to 65534 times.
        for (qint64 o = 0; o < columns; ++o) {
          const int xs = int(x + (stepWidth < 0 ? -o : o));
          p.drawLine(xs, h + 3, xs, h + 4);
        }
      }
    }
    const QString label = hexLabel(minValue_ + valueSpan * i / steps);
    p.setPen(scaleColor_);
    p.drawText(x - fm.horizontalAdvance(label) / 2, fm.ascent(), label);
  }
}

void TFilters::drawRow(QPainter& p, const QFontMetrics& fm, const Filter& f, int rowTop) {
  const int rowHeight = layout_.rowHeight;
  // Frame from (left - 1, rowTop) to (right + 2, rowTop + rowHeight), end excluded.
  const QRect frame(QPoint(layout_.left - 1, rowTop), QPoint(layout_.right + 1, rowTop + rowHeight - 1));
  if (frame.isValid()) {
    p.fillRect(frame, backColor_);
    p.setPen(QPen(scaleColor_, 1));
    p.drawRect(frame.adjusted(0, 0, -1, -1));
  }
  markAccepted(p, f, rowTop);
  p.setPen(f.color);
  p.drawText(0, rowTop + rowHeight / 2 - fm.height() / 2 + fm.ascent(), f.name);
}

void TFilters::markAccepted(QPainter& p, const Filter& f, int rowTop) {
  // Value v starts at column x(v) = (v - MinValue) * W / (MaxValue - MinValue) + L
  // and covers the columns up to x(v + 1), at least one. (A fixed width of
  // W / (MaxValue - MinValue) columns would leave holes inside runs of
  // accepted values whenever a value is more than one column wide.)
  const qint64 L = qint64(layout_.left) + 1;
  const qint64 R = qint64(layout_.right) - 1;
  const qint64 W = R - L + 1;
  const int innerTop = rowTop + 1;
  const int innerHeight = layout_.rowHeight - 2;
  if (W <= 0 || innerHeight <= 0) return;
  const qint64 min = minValue_;
  const qint64 range = qint64(maxValue_) - min;
  const FilterMatch::Filter match = matchOf(f.id, f.mask);

  p.save();
  p.setClipRect(QRect(layout_.left, innerTop, layout_.right - layout_.left + 1, innerHeight));
  {
    ColumnRuns runs(p, innerTop, innerHeight, f.color);
    if (range == 0) {
      // One value on the scale: it owns the whole row.
      if (match.accepts(min)) runs.add(L, R + 1);
    } else if (range <= W) {
      // At least one column per value: visit every value.
      for (qint64 d = 0; d <= range; ++d) {
        if (!match.accepts(min + d)) continue;
        const qint64 x1 = d * W / range + L;
        runs.add(x1, std::max((d + 1) * W / range + L, x1 + 1));
      }
    } else {
      // Several values per column: every value covers just its column x(v),
      // so column c is marked when one of the values with d * W / range == c
      // is accepted. Same picture as visiting every value, at a cost bounded
      // by the width.
      for (qint64 c = 0; c <= W; ++c) {
        const qint64 first = ceilDiv(c * range, W);
        const qint64 last = std::min(ceilDiv((c + 1) * range, W) - 1, range);
        if (FilterMatch::anyAccepted(min + first, min + last, match)) runs.add(L + c, L + c + 1);
      }
    }
  }
  p.restore();
}

void TFilters::paintEvent(QPaintEvent*) {
  renderOffscreen();
  QPainter p(this);
  if (!pixmap_.isNull()) p.drawPixmap(contentsRect().topLeft(), pixmap_);
  drawFrame(&p);
}

int TFilters::filterAtY(int y) const {
  if (!layout_.painted || layout_.rowHeight <= 0) return 0;
  const qint64 row = floorDiv(qint64(y) - layout_.top, layout_.rowHeight);
  if (row < 0 || row >= layout_.rows.size()) return 0;
  const int index = layout_.rows.at(int(row));
  return filterAt(index)->visible ? index : 0;
}

void TFilters::mouseMoveEvent(QMouseEvent* event) {
  static const QMetaMethod moveSignal = QMetaMethod::fromSignal(&TFilters::mouseMove);
  // Handled here: a move over the view must not also reach the window as a
  // move over the window itself (which hides the pointed range there).
  event->accept();
  if (!isSignalConnected(moveSignal) || !layout_.painted || layout_.rowHeight == 0) return;
  const QPoint pos = event->position().toPoint() - contentsRect().topLeft();
  int index = filterAtY(pos.y());
  int begin = 0;
  int end = 0;
  if (index != 0) {
    std::optional<FilterMatch::Run> run;
    if (pos.x() >= layout_.left && pos.x() <= layout_.right) {
      const qint64 span = qint64(layout_.right) - layout_.left;
      const qint64 range = qint64(maxValue_) - minValue_;
      const qint64 v = minValue_ + (span > 0 ? (qint64(pos.x()) - layout_.left) * range / span : 0);
      const Filter& f = *filterAt(index);
      run = FilterMatch::runAround(v, matchOf(f.id, f.mask), minValue_, maxValue_);
    }
    if (run) {
      begin = int(run->begin);  // within [MinValue, MaxValue]
      end = int(run->end);
    } else {
      index = 0;
    }
  }
  emit mouseMove(this, event->modifiers(), event->buttons(), pos.x(), pos.y(), index, begin, end);
}
