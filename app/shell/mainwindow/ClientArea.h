#pragma once

#include <QImage>
#include <QMdiArea>
#include <QPixmap>

// The main window's client area: the MDI area that holds the tool windows.
// While its painting is hooked it draws the background picture stretched over
// the whole area and the logo in its centre, at x = width / 2 - logo width / 2,
// y = height / 2 - logo height / 2. After drawing, it compares the pixels at
// (x - 1, y + 1) and (x + 1, y + 1): if they differ, the logo's transparency
// did not take, and the logo is drawn opaque for the rest of the run. A resize
// or a scroll repaints the whole area.
//
// It also arranges the child windows as the Windows menu asks: tiled in rows
// (horizontally) or columns (vertically), and the minimised ones along the bottom.
//
// Threads: GUI thread only.
class TClientArea : public QMdiArea {
  Q_OBJECT

 public:
  explicit TClientArea(QWidget* parent = nullptr);

  void setPaintingHooked(bool hooked);
  bool paintingHooked() const { return hooked_; }

  const QImage& backgroundPicture() const { return background_; }  // ImageFond
  const QImage& logoPicture() const { return logo_; }              // ImageLogo
  bool logoOpaque() const { return logoOpaque_; }
  // Where the logo goes in an area of the given size.
  QPoint logoPosition(const QSize& area) const;

  // The Windows menu's arrangements, of the visible child windows; a window
  // is never made smaller than what shows all its controls.
  void tileHorizontally();  // one above the other, each the full width
  void tileVertically();    // side by side, each the full height
  void arrangeIcons();      // the minimised ones in a row along the bottom
  // The first start's arrangement of windows that have no stored place: at
  // their own sizes, the first at the top left and the others in rows beside
  // and below it, none over another; those that do not fit are minimised
  // into the row along the bottom.
  void placeSideBySide(const QList<QMdiSubWindow*>& windows);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  // The whole area's picture: the background stretched, the logo on it.
  const QPixmap& composedPicture(const QSize& size);
  void tile(bool rows);

  bool hooked_ = false;
  bool logoOpaque_ = false;
  QImage background_;
  QImage logo_;
  QPixmap composed_;  // cached for composedFor_
  QSize composedFor_;
};
