#include <gtest/gtest.h>

#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <limits>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "Filters.h"
#include "PaintCounter.h"
#include "WaitUntil.h"

namespace {

const QColor Teal(0, 128, 128);
const QColor Blue(102, 179, 255);

struct Report {
  int filter;
  int begin;
  int end;
};

// A range view with the Filters window's settings and a recorder of its
// pointer reports.
class FiltersTest : public testing::Test {
 protected:
  void SetUp() override {
    view.resize(600, 150);
    view.setFilterVisible(2, true);
    view.setFilterColor(2, Blue);
    QObject::connect(
        &view, &TFilters::mouseMove, &view,
        [this](TFilters*, Qt::KeyboardModifiers, Qt::MouseButtons, int, int, int filter, int begin, int end) {
          reports.push_back({filter, begin, end});
        });
  }

  QImage render() { return view.renderOffscreen().toImage(); }

  int rowMiddle(int row) const {
    const auto& l = view.lastLayout();
    return l.top + row * l.rowHeight + l.rowHeight / 2;
  }

  // Moves the pointer to client position (x, y).
  void moveTo(int x, int y) {
    const QPointF pos = QPointF(x, y) + view.contentsRect().topLeft();
    QMouseEvent move(QEvent::MouseMove, pos, view.mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &move);
  }

  // Reports of a sweep across the whole width at the middle of a row.
  std::vector<Report> sweepRow(int row) {
    reports.clear();
    for (int x = 0; x < view.contentsRect().width(); ++x) moveTo(x, rowMiddle(row));
    return reports;
  }

  // Columns the drawing rule marks for a filter: every accepted value v
  // covers the columns from x(v) = (v - min) * W / range + L up to x(v + 1),
  // at least one.
  std::set<int> expectedColumns(quint16 id, quint16 mask) const {
    const auto& l = view.lastLayout();
    const qint64 L = l.left + 1, W = (l.right - 1) - L + 1;
    const qint64 min = view.minValue(), range = qint64(view.maxValue()) - min;
    std::set<int> columns;
    for (qint64 v = min; v <= view.maxValue(); ++v) {
      if ((v & mask) != (id & mask)) continue;
      const qint64 x1 = (v - min) * W / range + L;
      const qint64 x2 = std::max((v + 1 - min) * W / range + L, x1 + 1);
      for (qint64 x = x1; x < x2; ++x)
        if (x >= l.left && x <= l.right) columns.insert(int(x));
    }
    return columns;
  }

  std::set<int> paintedColumns(const QImage& image, int row, const QColor& color) const {
    const auto& l = view.lastLayout();
    std::set<int> columns;
    for (int x = l.left; x <= l.right; ++x)
      if (image.pixelColor(x, rowMiddle(row)) == color) columns.insert(x);
    return columns;
  }

  TFilters view;
  std::vector<Report> reports;
};

TEST_F(FiltersTest, MaskZeroFillsTheRowAndPointsAtTheWholeRange) {
  const QImage image = render();
  const auto& l = view.lastLayout();
  ASSERT_EQ(l.rows, QVector<int>({1, 2}));
  for (int x = l.left + 1; x <= l.right; ++x) {
    ASSERT_EQ(image.pixelColor(x, rowMiddle(0)), Teal) << x;
    ASSERT_EQ(image.pixelColor(x, rowMiddle(1)), Blue) << x;
  }
  EXPECT_EQ(image.pixelColor(l.left - 1, rowMiddle(0)), QColor(Qt::black));  // row frame
  EXPECT_EQ(image.pixelColor(l.right + 1, rowMiddle(0)), QColor(Qt::black));

  // Zoomed in, every value is several columns wide: still no hole.
  view.setMaxValue(0x3F);
  const QImage zoomed = render();
  for (int x = l.left + 1; x <= l.right; ++x) ASSERT_EQ(zoomed.pixelColor(x, rowMiddle(0)), Teal) << x;
  view.setMaxValue(0x7FF);
  render();
  for (const Report& r : sweepRow(0)) {
    if (r.filter == 0) continue;
    EXPECT_EQ(r.filter, 1);
    EXPECT_EQ(r.begin, 0);
    EXPECT_EQ(r.end, 0x7FF);
  }
}

TEST_F(FiltersTest, OneBlockForAMaskedIdentifier) {
  view.setFilterID(1, 0x123);
  view.setFilterMask(1, 0x7F0);
  const QImage image = render();
  const std::set<int> columns = paintedColumns(image, 0, Teal);
  ASSERT_FALSE(columns.empty());
  EXPECT_EQ(int(columns.size()), *columns.rbegin() - *columns.begin() + 1);  // one contiguous block
  EXPECT_EQ(columns, expectedColumns(0x123, 0x7F0));

  std::set<std::pair<int, int>> runs;
  int inside = 0;
  for (const Report& r : sweepRow(0)) {
    if (r.filter == 0) continue;
    ++inside;
    EXPECT_EQ(r.filter, 1);
    runs.insert({r.begin, r.end});
  }
  EXPECT_GT(inside, 0);
  EXPECT_EQ(runs, (std::set<std::pair<int, int>>{{0x120, 0x12F}}));
}

TEST_F(FiltersTest, OddValuesAreSingleRuns) {
  view.setFilterID(2, 0x001);
  view.setFilterMask(2, 0x001);
  render();
  int odd = 0, none = 0;
  for (const Report& r : sweepRow(1)) {
    if (r.filter == 0) {
      ++none;
      continue;
    }
    EXPECT_EQ(r.filter, 2);
    EXPECT_EQ(r.begin, r.end);
    EXPECT_EQ(r.begin % 2, 1);
    ++odd;
  }
  EXPECT_GT(odd, 0);
  EXPECT_GT(none, 0);
  reports.clear();
  moveTo(view.lastLayout().left + 10, view.lastLayout().top - 3);  // the scale band points at nothing
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].filter, 0);
  EXPECT_EQ(reports[0].begin, 0);
}

TEST_F(FiltersTest, PictureFollowsTheDrawingRuleAtEveryScale) {
  // Wide ranges are drawn column by column, narrow ones value by value; both
  // must give the picture of marking every accepted value.
  const std::vector<std::tuple<int, int, int>> scales = {
      {600, 0, 0x7FF}, {1000, 0, 0x3F}, {300, 0x100, 0x1FF}, {900, 0x10, 0x5000}, {700, 0, 600}};
  const std::vector<std::pair<quint16, quint16>> filters = {{0x123, 0x7F0}, {0x001, 0x001}, {0x555, 0x0F3},
                                                            {0x7FF, 0x7FF}, {0x000, 0x400}, {0x2AA, 0x155}};
  for (const auto& [width, min, max] : scales) {
    view.resize(width, 120);
    view.setMinValue(std::numeric_limits<int>::min());
    view.setMaxValue(max);
    view.setMinValue(min);
    for (const auto& [id, mask] : filters) {
      view.setFilterID(1, id);
      view.setFilterMask(1, mask);
      const QImage image = render();
      ASSERT_EQ(paintedColumns(image, 0, Teal), expectedColumns(view.filterID(1), mask))
          << "width " << width << " range " << min << ".." << max << " filter " << id << "/" << mask;
    }
  }
}

TEST_F(FiltersTest, ScaleLimitsMoveIdentifiersAndRejectCrossing) {
  view.setFilterID(1, 0x123);
  view.setFilterID(3, 0x050);
  view.setMaxValue(0x100);
  EXPECT_EQ(view.filterID(1), 0x100);
  EXPECT_EQ(view.filterID(3), 0x050);
  view.setMinValue(0x60);
  EXPECT_EQ(view.filterID(3), 0x060);
  EXPECT_EQ(view.filterID(2), 0x060);

  try {
    view.setMinValue(0x101);
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "Value must be between -2147483647 and 255");
  }
  try {
    view.setMaxValue(0x5F);
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "Value must be between 97 and 2147483647");
  }
  EXPECT_EQ(view.minValue(), 0x60);
  EXPECT_EQ(view.maxValue(), 0x100);
}

TEST_F(FiltersTest, RepaintsOnlyWhenAllowedAndNeverForThePointer) {
  PaintCounter counter;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  QCoreApplication::processEvents();
  view.installEventFilter(&counter);

  view.setPaintEnabled(false);
  view.setFilterID(1, 0x300);
  view.setFilterMask(1, 0x700);
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);
  sweepRow(0);
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);
  view.setPaintEnabled(true);
  view.update();
  EXPECT_TRUE(WaitUntil([&] { return counter.paints > 0; }, std::chrono::milliseconds(2000)));
  const int afterUpdate = counter.paints;
  view.setFilterMask(1, 0x7FF);
  EXPECT_TRUE(WaitUntil([&] { return counter.paints > afterUpdate; }, std::chrono::milliseconds(2000)));
}

TEST(FiltersPointer, MovesOverTheViewStayWithTheView) {
  // The Filters window hides its pointed range on moves over the window itself.
  class MoveCounter : public QWidget {
   public:
    int moves = 0;
    void mouseMoveEvent(QMouseEvent*) override { ++moves; }
  } window;
  window.setMouseTracking(true);
  auto* view = new TFilters(&window);
  view->resize(300, 100);
  view->renderOffscreen();
  QObject::connect(view, &TFilters::mouseMove, view, [](auto...) {});
  QMouseEvent move(QEvent::MouseMove, QPointF(150, 60), QPointF(150, 60), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view, &move);
  EXPECT_EQ(window.moves, 0);
}

TEST_F(FiltersTest, HiddenFiltersLeaveNoGapInTheRows) {
  view.setFilterVisible(1, false);
  view.setFilterVisible(2, false);
  view.setFilterVisible(4, true);
  view.setFilterColor(4, Blue);
  const QImage image = render();
  ASSERT_EQ(view.lastLayout().rows, QVector<int>({4}));
  EXPECT_EQ(image.pixelColor(view.lastLayout().left + 5, rowMiddle(0)), Blue);
  const auto swept = sweepRow(0);
  ASSERT_FALSE(swept.empty());
  EXPECT_EQ(swept[swept.size() / 2].filter, 4);
}

TEST_F(FiltersTest, ExtremePropertiesPaintAndTrack) {
  const int intMin = std::numeric_limits<int>::min(), intMax = std::numeric_limits<int>::max();
  const std::vector<QSize> sizes = {{0, 0}, {1, 1}, {6, 300}, {300, 6}, {600, 150}};
  const std::vector<std::pair<int, int>> ranges = {{0, 0}, {intMin, intMax}, {-5, 5}, {0x7FF, 0x7FF}, {70000, 90000}};
  const std::vector<std::pair<quint16, quint16>> steps = {{0, 0}, {1, 1}, {16, 65535}, {65535, 2}};
  int round = 0;
  for (const QSize& size : sizes) {
    view.resize(size);
    for (const auto& [min, max] : ranges) {
      view.setMinValue(intMin);
      view.setMaxValue(max);
      view.setMinValue(min);
      const auto& [big, little] = steps[round++ % steps.size()];
      view.setScaleSteps(big);
      view.setScaleLittleSteps(little);
      for (int visible = 0; visible <= TFilters::FilterCount; visible += 5) {
        for (int i = 1; i <= TFilters::FilterCount; ++i) view.setFilterVisible(i, i <= visible);
        view.setFilterMask(1, quint16(round * 0x111));
        render();
        reports.clear();
        for (int y = -2; y < size.height() + 2; y += 7)
          for (int x = -2; x < size.width() + 2; x += 13) moveTo(x, y);
        for (const Report& r : reports) {
          if (r.filter == 0) continue;
          EXPECT_LE(r.filter, visible);
          EXPECT_LE(r.begin, r.end);
        }
      }
    }
  }
  EXPECT_EQ(view.getFilterName(0), QString());
  EXPECT_EQ(view.getFilterName(11), QString());
  EXPECT_EQ(view.getFilterName(10), "Filter10");

  // Indices outside 1-10 are ignored: no filter changes, nor the picture.
  view.setFilterVisible(1, true);
  view.setFilterVisible(10, false);
  const QImage before = render();
  using FilterState = std::tuple<quint16, quint16, bool, QColor, QString>;
  const auto states = [this] {
    std::vector<FilterState> all;
    for (int i = 1; i <= TFilters::FilterCount; ++i)
      all.emplace_back(view.filterID(i), view.filterMask(i), view.filterVisible(i), view.filterColor(i),
                       view.getFilterName(i));
    return all;
  };
  const std::vector<FilterState> kept = states();
  for (int index : {-1, 0, 11}) {
    view.setFilterID(index, 0x7F0);
    view.setFilterMask(index, 0x7FF);
    view.setFilterVisible(index, true);
    view.setFilterColor(index, Qt::red);
    view.setFilterName(index, QStringLiteral("Outside"));
    EXPECT_EQ(view.filterID(index), 0) << index;
    EXPECT_FALSE(view.filterVisible(index)) << index;
  }
  EXPECT_EQ(states(), kept);
  EXPECT_EQ(render(), before);
}

}  // namespace
