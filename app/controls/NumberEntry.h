// TNumberEntry: a whole number within a range that changes by its arrows
// only (the mouse, or the Up and Down keys); typing into it is disabled, so
// it always holds a number of its range.
//
// Threads: GUI thread only.
#pragma once

#include <QSpinBox>

class TNumberEntry : public QSpinBox {
  Q_OBJECT

 public:
  TNumberEntry(int minimum, int maximum, int value, QWidget* parent = nullptr);
};
