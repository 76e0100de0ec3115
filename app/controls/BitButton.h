// TBitButton: one bit of a TBitPanel, drawn as a bevelled panel with the
// bit's name on it. Sunken means 1, raised means 0. The button only reports
// mouse presses; the panel decides what a press does.
#pragma once

#include <QFrame>

class TBitButton : public QFrame {
  Q_OBJECT

 public:
  TBitButton(const QString& caption, QWidget* parent);

  QString caption() const { return caption_; }
  bool isSunken() const { return sunken_; }
  void setSunken(bool sunken);

 signals:
  // Any mouse button went down on the button; a double click counts as a
  // second press.
  void pressed(TBitButton* button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QString caption_;
  bool sunken_ = false;
};
