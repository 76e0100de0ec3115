// TFilters: the identifier range view. For up to ten filters (identifier and
// mask; a value v is accepted when v AND mask equals identifier AND mask) it
// draws a hexadecimal scale across the top and one row per visible filter in
// which every accepted value of [MinValue, MaxValue] is marked in the filter's
// colour, the filter's name at the left. Moving the pointer over a row reports
// the run of accepted values around the pointed value (signal mouseMove).
// The view paints into an off-screen pixmap and copies it in one piece, so a
// half-drawn picture never shows; pointer tracking never repaints.
#pragma once

#include <QColor>
#include <QFrame>
#include <QPixmap>
#include <QString>
#include <QVector>
#include <array>

class QFontMetrics;
class QPainter;

class TFilters : public QFrame {
  Q_OBJECT
  Q_PROPERTY(int MinValue READ minValue WRITE setMinValue)
  Q_PROPERTY(int MaxValue READ maxValue WRITE setMaxValue)
  Q_PROPERTY(quint16 ScaleSteps READ scaleSteps WRITE setScaleSteps)
  Q_PROPERTY(quint16 ScaleLittleSteps READ scaleLittleSteps WRITE setScaleLittleSteps)
  Q_PROPERTY(QColor BackColor READ backColor WRITE setBackColor)
  Q_PROPERTY(QColor ScaleColor READ scaleColor WRITE setScaleColor)
  Q_PROPERTY(QColor Color READ color WRITE setColor)
  Q_PROPERTY(bool MouseCapture READ mouseCapture WRITE setMouseCapture)
  Q_PROPERTY(bool PaintEnabled READ paintEnabled WRITE setPaintEnabled)

 public:
  static constexpr int FilterCount = 10;

  explicit TFilters(QWidget* parent = nullptr);
  ~TFilters() override;

  int minValue() const { return minValue_; }
  // Throws std::invalid_argument "Value must be between %d and %d" when v is
  // above MaxValue; otherwise raises every identifier below v to v.
  void setMinValue(int v);
  int maxValue() const { return maxValue_; }
  // Throws std::invalid_argument when v is below MinValue; otherwise lowers
  // every identifier above v to v.
  void setMaxValue(int v);

  quint16 scaleSteps() const { return scaleSteps_; }
  void setScaleSteps(quint16 steps);
  quint16 scaleLittleSteps() const { return scaleLittleSteps_; }
  void setScaleLittleSteps(quint16 steps);
  QColor backColor() const { return backColor_; }
  void setBackColor(const QColor& c);
  QColor scaleColor() const { return scaleColor_; }
  void setScaleColor(const QColor& c);
  // Fills the whole control, the scale band and the name column.
  QColor color() const { return color_; }
  void setColor(const QColor& c);
  bool mouseCapture() const { return mouseCapture_; }
  // While set and visible, the view grabs the pointer.
  void setMouseCapture(bool capture);

  // While cleared, changes do not repaint the view (a batch of changes then
  // repaints once, when the caller calls update()).
  bool paintEnabled() const { return paintEnabled_; }
  void setPaintEnabled(bool enabled) { paintEnabled_ = enabled; }

  // Per-filter operations, index 1 to 10; other indices are ignored.
  void setFilterColor(int index, const QColor& c);
  void setFilterID(int index, quint16 id);
  void setFilterMask(int index, quint16 mask);
  void setFilterVisible(int index, bool visible);
  void setFilterName(int index, const QString& name);
  QString getFilterName(int index) const;  // empty for other indices
  quint16 filterID(int index) const;
  quint16 filterMask(int index) const;
  QColor filterColor(int index) const;
  bool filterVisible(int index) const;

  // Draws the whole view into its off-screen pixmap (the picture paintEvent
  // shows) and returns it.
  const QPixmap& renderOffscreen();

  // Geometry of the last painting, in client coordinates (inside the frame):
  // the drawing rectangle, whose right and bottom edges are exclusive, and
  // the row height. The pointer handling works on what the user sees.
  struct Layout {
    bool painted = false;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int rowHeight = 0;
    QVector<int> rows;  // filter index (1 to 10) of each row, top to bottom
  };
  const Layout& lastLayout() const { return layout_; }

 signals:
  // OnMouseMove (TFilterMove): the pointer moved over the view. x and y are in
  // the view's client area (inside its frame); filterNumber is the pointed
  // filter (1 to 10) or 0, and [beginRange, endRange] the run of accepted
  // values around the pointed value (both 0 when filterNumber is 0). The
  // Shift argument of TFilterMove arrives as modifiers and buttons; the range
  // is an int, so that scales beyond 16 bits report true values.
  void mouseMove(TFilters* sender, Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons, int x, int y,
                 int filterNumber, int beginRange, int endRange);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Filter {
    quint16 id = 0;
    quint16 mask = 0;
    QColor color{0, 128, 128};
    bool visible = false;
    QString name;
  };

  Filter* filterAt(int index);
  const Filter* filterAt(int index) const;
  void changed();  // repaint if allowed
  void drawScale(QPainter& p, const QFontMetrics& fm);
  void drawRow(QPainter& p, const QFontMetrics& fm, const Filter& f, int rowTop);
  void markAccepted(QPainter& p, const Filter& f, int rowTop);
  // Index of the filter whose row holds client y, or 0.
  int filterAtY(int y) const;

  int minValue_ = 0;
  int maxValue_ = 0x7FF;
  quint16 scaleSteps_ = 16;
  quint16 scaleLittleSteps_ = 2;
  QColor backColor_ = Qt::white;
  QColor scaleColor_ = Qt::black;
  QColor color_;
  bool mouseCapture_ = false;
  bool paintEnabled_ = true;
  std::array<Filter, FilterCount> filters_;
  Layout layout_;
  QPixmap pixmap_;
};
