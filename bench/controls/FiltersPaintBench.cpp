// Painting cost of the identifier range view, as a ratio against filling the
// same pixmap with one colour, both measured in this run.
//   bench_controls_filters [repetitions]
// Layout: 1000 x 200 pixels, two rows over 0..0x7FF, the Filters window's
// filters (0x123/0x7F0 and 0x001/0x001), and a third run with mask 0.
// Also counts the repaints that pointer tracking causes (expected: none).
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchFigures.h"
#include "Filters.h"
#include "PaintCounter.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int repetitions = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;

  TFilters view;
  view.setFrameStyle(QFrame::NoFrame);  // the pixmap is exactly 1000 x 200
  view.resize(1000, 200);
  view.setFilterVisible(2, true);
  view.setFilterID(1, 0x123);
  view.setFilterMask(1, 0x7F0);
  view.setFilterID(2, 0x001);
  view.setFilterMask(2, 0x001);

  view.renderOffscreen();  // allocate the pixmap once, as a shown view does
  QPixmap baselinePixmap(view.renderOffscreen().size());
  const double baseline = bench::Measure(repetitions, [&] { baselinePixmap.fill(Qt::gray); }).wallMs;
  const double windowFilters = bench::Measure(repetitions, [&] { view.renderOffscreen(); }).wallMs;
  view.setFilterMask(1, 0);
  view.setFilterMask(2, 0);
  const double fullRows = bench::Measure(repetitions, [&] { view.renderOffscreen(); }).wallMs;

  std::printf("identifier range view, 1000x200, two rows over 0..0x7FF, %d repetitions (median)\n", repetitions);
  std::printf("  baseline: fill the pixmap with one colour   %8.3f ms\n", baseline);
  std::printf("  full paint, filters 0x123/0x7F0, 0x001/0x001 %8.3f ms  = %6.1f x baseline\n", windowFilters,
              windowFilters / baseline);
  std::printf("  full paint, both masks 0 (rows filled)       %8.3f ms  = %6.1f x baseline\n", fullRows,
              fullRows / baseline);
  std::printf("  frame budget 16 ms: full paint uses %.1f %% of it\n",
              100.0 * std::max(windowFilters, fullRows) / 16.0);

  // Pointer tracking: a connected handler, the view shown, 1000 moves.
  view.show();
  QCoreApplication::processEvents();
  int reports = 0;
  QObject::connect(&view, &TFilters::mouseMove, [&](auto...) { ++reports; });
  PaintCounter counter;
  view.installEventFilter(&counter);
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < 1000; ++i) {
    const QPointF pos(i % 1000, 100);
    QMouseEvent move(QEvent::MouseMove, pos, view.mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &move);
  }
  const double perMoveUs = double(t.nsecsElapsed()) / 1e3 / 1000.0;
  QCoreApplication::processEvents();
  std::printf("  pointer tracking: %d moves reported, %d repaints, %.2f us per move\n", reports, counter.paints,
              perMoveUs);
  return 0;
}
