// The Filters window with two filters while the pointer moves over its
// identifier range view: the median cost of one move until the screen is up
// to date (the pointed range named, what changed repainted), as a ratio
// against one full repaint of the view measured in this run. Also counts the
// view's repaints that the moves cause (expected: none; only the label line
// changes).
//   filters_pointer_bench [moves]
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchFigures.h"
#include "FakeToolWindowHost.h"
#include "Filters.h"
#include "FiltersFrm.h"
#include "HexEdit.h"
#include "PaintCounter.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int moves = argc > 1 ? std::max(100, std::atoi(argv[1])) : 2000;

  FakeToolWindowHost host;  // no link
  TFiltersFrm window(host);
  window.resize(800, 400);
  window.createForm();
  window.show();
  QCoreApplication::processEvents();
  // Two filters drawing distinct ranges: 0x120-0x12F, and every odd identifier.
  window.findChild<THexEdit*>("ID0")->setValue(0x123);
  window.findChild<THexEdit*>("Mask0")->setValue(0x7F0);
  window.findChild<THexEdit*>("ID1")->setValue(0x001);
  window.findChild<THexEdit*>("Mask1")->setValue(0x001);
  TFilters* view = window.RangeView();
  QCoreApplication::processEvents();

  // Baseline: one full repaint of the view, painted at once.
  std::vector<double> fullPaints;
  for (int i = 0; i < 200; ++i) {
    QElapsedTimer t;
    t.start();
    view->repaint();
    fullPaints.push_back(double(t.nsecsElapsed()) / 1e3);
  }
  const double baseline = bench::Median(fullPaints);

  // The pointer sweeps both rows back and forth: in and out of the ranges,
  // so that the label changes text, appears and disappears.
  const TFilters::Layout& l = view->lastLayout();
  const QPoint origin = view->contentsRect().topLeft();
  PaintCounter viewPaints;
  PaintCounter labelPaints;
  view->installEventFilter(&viewPaints);
  window.findChild<QLabel*>("PointedRange")->installEventFilter(&labelPaints);
  std::vector<double> perMove;
  perMove.reserve(std::size_t(moves));
  int named = 0;
  for (int i = 0; i < moves; ++i) {
    const int span = l.right - l.left;
    const int x = l.left + (i * 7) % (span + 1);
    const int y = l.top + ((i / 50) % 2) * l.rowHeight + l.rowHeight / 2;
    const QPointF pos(origin + QPoint(x, y));
    QElapsedTimer t;
    t.start();
    QMouseEvent move(QEvent::MouseMove, pos, view->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &move);
    QCoreApplication::processEvents();  // the repaints the move asked for
    perMove.push_back(double(t.nsecsElapsed()) / 1e3);
    named += !window.findChild<QLabel*>("PointedRange")->text().isEmpty();
  }
  const double moveMedian = bench::Median(perMove);

  std::printf("Filters window, 800x400, two filters (0x123/0x7F0, 0x001/0x001), offscreen\n");
  std::printf("  baseline: one full repaint of the range view (median of 200)  %8.2f us\n", baseline);
  std::printf("  pointer move until painted (median of %d moves)             %8.2f us  = %5.3f x baseline\n", moves,
              moveMedian, moveMedian / baseline);
  std::printf("  moves naming a range: %d; view repaints caused: %d; label repaints: %d\n", named, viewPaints.paints,
              labelPaints.paints);
  std::printf("  frame budget 16 ms: a move uses %.3f %% of it\n", 100.0 * moveMedian / 16000.0);
  return 0;
}
