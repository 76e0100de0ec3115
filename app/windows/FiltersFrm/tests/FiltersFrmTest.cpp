// The Filters window: its fields and the identifier range view on their own,
// then Refresh and Apply against the simulated board (the program's two nodes
// over a pty and the real register access thread; passes run by hand), and
// the board's acceptance of every identifier against what the view draws.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

#include "FilterMatch.h"
#include "Filters.h"
#include "FiltersFrm.h"
#include "HexEdit.h"
#include "WindowOnBoard.h"

using namespace CanReg;
using FilterRegisters::FilterSetting;
using FilterRegisters::FrameKind;
using Bytes = std::vector<std::uint8_t>;

inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace {

class FiltersWindow {
 public:
  explicit FiltersWindow(FakeToolWindowHost& host) : window(std::make_unique<TFiltersFrm>(host)) {
    window->resize(600, 360);
    window->createForm();
    EXPECT_TRUE(ShowActive(window.get()));
  }

  THexEdit* F(const char* name) const { return Field(window.get(), name); }
  TFrameKindChoice* Kind(int filter) const {
    return window->findChild<TFrameKindChoice*>(QStringLiteral("FrameKind%1").arg(filter));
  }
  TFilters* View() const { return window->RangeView(); }
  QLabel* Pointed() const { return window->findChild<QLabel*>("PointedRange"); }

  // Moves the pointer over the view's row of view filter `index` at identifier v.
  void PointAt(int index, int v) {
    TFilters* view = View();
    view->repaint();  // the pointer handling works on the last painting
    const TFilters::Layout& l = view->lastLayout();
    // The first x whose value (as the view computes it) is v.
    int x = l.left;
    while (x < l.right && (l.right - l.left) > 0 &&
           view->minValue() + std::int64_t(x - l.left) * (view->maxValue() - view->minValue()) / (l.right - l.left) < v)
      ++x;
    const int y = l.top + (index - 1) * l.rowHeight + l.rowHeight / 2;
    Move(view, QPoint(x, y) + view->contentsRect().topLeft());
  }
  static void Move(QWidget* widget, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
  }

  std::unique_ptr<TFiltersFrm> window;
};

// ---- without a board ----------------------------------------------------------------

class FiltersAlone : public ::testing::Test {
 protected:
  FakeToolWindowHost host_;
};

TEST_F(FiltersAlone, OpenedWithoutALinkEverythingIsAccepted) {
  FiltersWindow w(host_);
  EXPECT_EQ(w.window->objectName(), "FiltersFrm");
  EXPECT_EQ(w.window->windowTitle(), "Filters settings");
  for (const char* name : {"ID0", "Mask0", "ID1", "Mask1"}) EXPECT_EQ(w.F(name)->text(), "000") << name;
  EXPECT_EQ(w.Kind(0)->kind(), FrameKind::None);
  EXPECT_EQ(w.Kind(1)->kind(), FrameKind::None);
  EXPECT_EQ(w.F("Mask1")->toolTip(), "Mask for Filter 1. 0=don't care. 1=match required");
  EXPECT_EQ(w.window->findChild<QPushButton*>("AllIDs2")->text(), "&All IDs");
  EXPECT_EQ(w.window->findChild<QRadioButton*>("FrameKind02")->text(), "&Both");

  TFilters* view = w.View();
  EXPECT_EQ(view->maxValue(), 0x7FF);
  EXPECT_EQ(view->scaleSteps(), 16);
  EXPECT_EQ(view->scaleLittleSteps(), 2);
  EXPECT_TRUE(view->paintEnabled());
  EXPECT_TRUE(view->filterVisible(1));
  EXPECT_TRUE(view->filterVisible(2));
  EXPECT_FALSE(view->filterVisible(3));
  EXPECT_EQ(view->getFilterName(1), "Filter 0");
  EXPECT_EQ(view->getFilterName(2), "Filter 1");
  EXPECT_EQ(view->filterColor(1), QColor(103, 180, 180));
  EXPECT_EQ(view->filterColor(2), QColor(102, 179, 255));
  // Identifier 0 and mask 0: both rows filled end to end.
  w.PointAt(1, 0x400);
  EXPECT_EQ(w.Pointed()->text(), "Pointed Range for Filter 0 :   0 - 7FF");
  w.PointAt(2, 0x7FF);
  EXPECT_EQ(w.Pointed()->text(), "Pointed Range for Filter 1 :   0 - 7FF");
  SaveScreenshot(w.window.get(), "FiltersFrm_unconnected");
}

TEST_F(FiltersAlone, EntriesAboveElevenBitsAreCutAndReachTheView) {
  FiltersWindow w(host_);
  TypeInto(w.F("ID0"), "FFF");
  EXPECT_EQ(w.F("ID0")->text(), "7FF");
  EXPECT_EQ(w.View()->filterID(1), 0x7FF);
  TypeInto(w.F("Mask1"), "F12");
  EXPECT_EQ(w.F("Mask1")->text(), "712");
  EXPECT_EQ(w.View()->filterMask(2), 0x712);
  // Each digit reaches the view at once, before the entry is complete.
  TypeInto(w.F("ID1"), "3");
  EXPECT_EQ(w.View()->filterID(2), 0x300);
  w.F("Mask0")->setValue(0x1ABC);
  EXPECT_EQ(w.F("Mask0")->value(), 0x2BC);
  EXPECT_EQ(w.View()->filterMask(1), 0x2BC);
}

TEST_F(FiltersAlone, AllIdsClearsTheMaskAndTakesBothKinds) {
  FiltersWindow w(host_);
  w.F("ID1")->setValue(0x123);
  w.F("Mask1")->setValue(0x7FF);
  w.Kind(1)->setKind(FrameKind::Remote);
  QTest::mouseClick(w.window->findChild<QPushButton*>("AllIDs2"), Qt::LeftButton);
  EXPECT_EQ(w.F("Mask1")->text(), "000");
  EXPECT_EQ(w.Kind(1)->kind(), FrameKind::Both);
  EXPECT_EQ(w.View()->filterMask(2), 0);
  EXPECT_EQ(w.window->Setting(1), (FilterSetting{0x123, 0, FrameKind::Both}));
  EXPECT_EQ(w.window->Setting(0).kind, FrameKind::None);  // the other filter is left alone
}

TEST_F(FiltersAlone, ThePointedRangeNamesTheRunUnderThePointer) {
  FiltersWindow w(host_);
  w.F("ID0")->setValue(0x123);
  w.F("Mask0")->setValue(0x7F0);
  w.F("ID1")->setValue(0x001);
  w.F("Mask1")->setValue(0x001);
  w.PointAt(1, 0x125);
  EXPECT_TRUE(w.Pointed()->isVisible());
  EXPECT_EQ(w.Pointed()->text(), "Pointed Range for Filter 0 : 120 - 12F");
  SaveScreenshot(w.window.get(), "FiltersFrm_pointed");

  // Outside the run: no filter pointed at, the label goes.
  w.PointAt(1, 0x400);
  EXPECT_FALSE(w.Pointed()->isVisible());
  EXPECT_EQ(w.Pointed()->text(), "");
  // Odd identifiers for filter 1: a run of one.
  w.PointAt(2, 0x7FF);
  EXPECT_EQ(w.Pointed()->text(), "Pointed Range for Filter 1 : 7FF - 7FF");
  // The pointer over a group, or the window itself, hides it.
  FiltersWindow::Move(w.window->findChild<QWidget*>("FilterGroup1"), QPoint(5, 5));
  EXPECT_FALSE(w.Pointed()->isVisible());
  w.PointAt(2, 0x7FF);
  FiltersWindow::Move(w.window.get(), QPoint(1, 1));
  EXPECT_FALSE(w.Pointed()->isVisible());

  EXPECT_EQ(TFiltersFrm::PointedRangeText("Filter 0", 0x5, 0x7FF), "Pointed Range for Filter 0 :   5 - 7FF");
  EXPECT_EQ(TFiltersFrm::PointedRangeText("F", 0x12, 0xABC), "Pointed Range for F :  12 - ABC");
}

// ---- on the board -----------------------------------------------------------------------

class FiltersOnBoard : public ConnectedWindowOnBoard<FiltersWindow> {
 protected:
  FiltersWindow& Window() {
    if (!window_) window_ = std::make_unique<FiltersWindow>(host_);
    return *window_;
  }
  // Clicks Apply and waits for its job.
  void Apply() {
    Window().window->ApplyClick();
    EXPECT_TRUE(WaitForJobs());
  }
  void Set(int filter, FilterSetting f) {
    const QString n = QString::number(filter);
    Window().F(("ID" + n).toLatin1().constData())->setValue(f.id);
    Window().F(("Mask" + n).toLatin1().constData())->setValue(f.mask);
    Window().Kind(filter)->setKind(f.kind);
  }
  std::array<std::uint8_t, 8> Page4() {
    std::array<std::uint8_t, 8> bytes{};
    for (int i = 0; i < 8; ++i) bytes[std::size_t(i)] = sim_->peekRegister(FilterPage, std::uint16_t(FHR0 + i));
    return bytes;
  }
};

TEST_F(FiltersOnBoard, RefreshDecodesPageFour) {
  const std::uint8_t page4[] = {0x24, 0x70, 0xFE, 0x10, 0xFF, 0xE0, 0x12, 0x00};
  for (int i = 0; i < 8; ++i) sim_->pokeRegister(FilterPage, std::uint16_t(FHR0 + i), page4[i]);
  ReadAll();
  ClearTranscript();
  FiltersWindow& w = Window();
  EXPECT_EQ(w.F("ID0")->text(), "123");
  EXPECT_EQ(w.F("Mask0")->text(), "7F0");
  EXPECT_EQ(w.Kind(0)->kind(), FrameKind::Remote);
  EXPECT_EQ(w.F("ID1")->text(), "7FF");
  EXPECT_EQ(w.F("Mask1")->text(), "090");
  EXPECT_EQ(w.Kind(1)->kind(), FrameKind::Both);
  EXPECT_EQ(w.View()->filterID(1), 0x123);
  EXPECT_EQ(w.View()->filterMask(1), 0x7F0);
  EXPECT_EQ(w.View()->filterID(2), 0x7FF);
  EXPECT_EQ(w.View()->filterMask(2), 0x090);
  EXPECT_TRUE(Requests().empty());  // a refresh copies the image
}

TEST_F(FiltersOnBoard, ApplyWritesEachRegisterOnPageFourThenReadsThePageBack) {
  Set(0, {0x123, 0x7FF, FrameKind::Data});
  Set(1, {0x123, 0x7F0, FrameKind::Remote});
  Apply();
  const std::vector<Bytes> expected{{PSR, 4}, {FLR0, 0x60}, {PSR, 4}, {FHR0, 0x24}, {PSR, 4}, {MLR0, 0xF0},
                                    {PSR, 4}, {MHR0, 0xFF}, {PSR, 4}, {FLR1, 0x70}, {PSR, 4}, {FHR1, 0x24},
                                    {PSR, 4}, {MLR1, 0x10}, {PSR, 4}, {MHR1, 0xFE}};
  EXPECT_EQ(Writes(), expected);
  // Then one pass: the main registers and page 4.
  const std::vector<Bytes> requests = Requests();
  ASSERT_EQ(requests.size(), 18u);
  EXPECT_EQ(requests[16], ReadRequest(0x5A, 6));
  EXPECT_EQ(requests[17], ReadRequest(0x60, 8));
  EXPECT_EQ(Page4(), (std::array<std::uint8_t, 8>{0x24, 0x60, 0xFF, 0xF0, 0x24, 0x70, 0xFE, 0x10}));
  EXPECT_EQ(sim_->peekRegister(0, PSR), 4);  // the cell stays on page 4
  EXPECT_EQ(thread_->GetPage(FilterPage)[3], 0xF0);
  EXPECT_EQ(Window().window->Setting(1), (FilterSetting{0x123, 0x7F0, FrameKind::Remote}));
  EXPECT_TRUE(host_.errors.isEmpty());
}

TEST_F(FiltersOnBoard, AllIdsAndAnUnchosenKindAsTheyAreWritten) {
  // Created while not connected: nothing chosen, written as Data.
  host_.connected = false;
  FiltersWindow& w = Window();
  host_.connected = true;
  w.F("ID0")->setValue(0x555);
  QTest::mouseClick(w.window->findChild<QPushButton*>("AllIDs1"), Qt::LeftButton);
  Apply();
  EXPECT_EQ(Page4(), (std::array<std::uint8_t, 8>{0xAA, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10}));
  EXPECT_EQ(w.Kind(0)->kind(), FrameKind::Both);
  EXPECT_EQ(w.Kind(1)->kind(), FrameKind::Data);  // what the cell holds now
}

TEST_F(FiltersOnBoard, TheBoardAcceptsExactlyWhatTheViewDraws) {
  Set(0, {0x120, 0x7F0, FrameKind::Data});    // 0x120-0x12F, data frames
  Set(1, {0x400, 0x600, FrameKind::Remote});  // 0x400-0x5FF, remote frames
  FiltersWindow& w = Window();
  Apply();
  ASSERT_TRUE(host_.errors.isEmpty());
  TFilters* view = w.View();
  int accepted = 0;
  for (int id = 0; id <= 0x7FF; ++id) {
    for (bool remote : {false, true}) {
      boardsim::CanFrame frame;
      frame.id = std::uint32_t(id);
      frame.remote = remote;
      const auto result = sim_->injectFrame(frame);
      // The view's rows: view filter 1 is the cell's filter 0.
      const bool drawn0 = FilterMatch::Filter{view->filterID(1), view->filterMask(1)}.accepts(id);
      const bool drawn1 = FilterMatch::Filter{view->filterID(2), view->filterMask(2)}.accepts(id);
      const int expectedFilter = (drawn0 && !remote) ? 0 : (drawn1 && remote) ? 1 : -1;
      ASSERT_EQ(result.filter, expectedFilter) << std::hex << id << (remote ? " remote" : " data");
      accepted += expectedFilter >= 0;
    }
  }
  EXPECT_EQ(accepted, 0x10 + 0x200);
  w.PointAt(2, 0x480);
  EXPECT_EQ(w.Pointed()->text(), "Pointed Range for Filter 1 : 400 - 5FF");
  SaveScreenshot(w.window.get(), "FiltersFrm_two_filters");
}

// Typed, applied with the keyboard, and again: Apply, disabled while its
// job runs, has the focus back afterwards.
TEST_F(FiltersOnBoard, TheKeyboardAloneAppliesOneSettingAfterAnother) {
  FiltersWindow& w = Window();
  ASSERT_TRUE(ShowActive(w.window.get()));
  auto* apply = w.window->findChild<QPushButton*>("Apply");
  for (const char* id : {"123", "456"}) {
    TypeInto(w.F("ID0"), id);
    apply->setFocus();
    QTest::keyClick(apply, Qt::Key_Space);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(QApplication::focusWidget(), apply) << id;
  }
  EXPECT_EQ(Identifier(sim_->peekRegister(FilterPage, FHR0), sim_->peekRegister(FilterPage, FLR0)), 0x456);
}

TEST_F(FiltersOnBoard, AFailedWriteEndsApplyAndIsShown) {
  FiltersWindow& w = Window();
  w.F("ID0")->setValue(0x321);
  sim_->dropAnswers(1);  // the first page selection's answer never comes
  Apply();
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_FALSE(host_.errors[0].isEmpty());
  EXPECT_EQ(Writes().size(), 1u);        // no further write, no read cycle
  EXPECT_EQ(w.F("ID0")->text(), "321");  // no refresh
  for (const Bytes& r : Requests()) EXPECT_NE(r[0], 0x13);
}

TEST_F(FiltersOnBoard, NothingReachesTheCellWhileNotConnected) {
  FiltersWindow& w = Window();
  host_.connected = false;
  w.F("ID0")->setValue(0x321);
  Apply();
  w.window->RefreshClick();
  EXPECT_EQ(thread_->JobsPending(), 0);
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(w.F("ID0")->text(), "321");
}

}  // namespace
