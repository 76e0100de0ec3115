// Counts the paint events of the widgets it is installed on as an event
// filter, so that a test or a benchmark sees which changes repaint a widget
// and which do not. Lives on the GUI thread, as the widgets it watches.
#pragma once

#include <QEvent>
#include <QObject>

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};
