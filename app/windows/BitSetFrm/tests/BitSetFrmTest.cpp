// The Bit Settings window without a board: its fields, its stored clock and
// the search (BitSetWindow.h). Refresh and Apply against the simulated board
// are BitSetOnBoardTest.cpp's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include <memory>

#include "BitSetWindow.h"
#include "SettingsStore.h"

namespace {

class BitSetAlone : public ::testing::Test {
 protected:
  // Every window stores its clock when it goes: each test starts from 8 MHz.
  void SetUp() override { TSettingsStore("CPU").remove("Clock"); }
  FakeToolWindowHost host_;
};

TEST_F(BitSetAlone, LayoutDefaults) {
  BitSetWindow w(host_);
  EXPECT_EQ(w.window->objectName(), "BitSetFrm");
  EXPECT_EQ(w.window->windowTitle(), "Bit Settings");
  EXPECT_EQ(w.Clock()->text(), "8");
  EXPECT_EQ(w.Clock()->maxLength(), 2);
  EXPECT_EQ(w.BaudRate()->text(), "");
  EXPECT_EQ(w.BaudRate()->maxLength(), 8);
  EXPECT_EQ(w.SamplePos()->value(), 50);
  EXPECT_EQ(w.SamplePos()->minimum(), 50);
  EXPECT_EQ(w.SamplePos()->maximum(), 100);
  EXPECT_FALSE(w.Track()->isEnabled());
  EXPECT_EQ(w.Track()->maximum(), 4);
  EXPECT_EQ(w.Track()->value(), 2);
  EXPECT_EQ(w.Brp()->text(), "01");
  EXPECT_EQ(w.Bs1()->value(), 1);
  EXPECT_EQ(w.Bs1()->maximum(), 16);
  EXPECT_EQ(w.Bs2()->maximum(), 8);
  EXPECT_EQ(w.Rjw()->maximum(), 4);
  EXPECT_TRUE(w.Bs1()->findChild<QLineEdit*>()->isReadOnly());
  EXPECT_EQ(w.TimeQuantum(), "");
  EXPECT_EQ(w.Find<QPushButton>("Calc1")->text(), "&OK");
  EXPECT_EQ(w.Find<QPushButton>("Refresh")->text(), "&Refresh");
  EXPECT_EQ(w.Find<QPushButton>("Apply")->text(), "&Apply");
}

TEST_F(BitSetAlone, TheClockIsStoredAsCpuClock) {
  {
    BitSetWindow w(host_);
    w.Clock()->setText("16");
  }
  EXPECT_EQ(TSettingsStore("CPU").readString("Clock"), "16");
  EXPECT_EQ(BitSetWindow(host_).Clock()->text(), "16");

  // Empty, or not a clock at all (a hand-edited file): 8 MHz.
  for (const char* stored : {"", "abc", "123", "-1"}) {
    TSettingsStore("CPU").writeString("Clock", stored);
    EXPECT_EQ(BitSetWindow(host_).Clock()->text(), "8") << stored;
  }
  TSettingsStore("CPU").writeInt("Clock", 12);  // the other type reads as missing
  EXPECT_EQ(BitSetWindow(host_).Clock()->text(), "8");
}

TEST_F(BitSetAlone, ClockAndBaudRateTakeDigitsOnly) {
  BitSetWindow w(host_);
  ASSERT_TRUE(ShowActive(w.window.get()));
  w.Clock()->clear();
  w.Clock()->setFocus();
  QTest::keyClicks(w.Clock(), "1a.");
  QTest::keyClick(w.Clock(), '2');
  QTest::keyClick(w.Clock(), '3');  // a third digit does not fit
  EXPECT_EQ(w.Clock()->text(), "12");
  QTest::keyClick(w.Clock(), Qt::Key_Backspace);
  EXPECT_EQ(w.Clock()->text(), "1");

  w.BaudRate()->setFocus();
  QTest::keyClicks(w.BaudRate(), "12x5 -0");
  EXPECT_EQ(w.BaudRate()->text(), "1250");
  // Pasted text goes through the same rule: nothing but digits gets in.
  w.BaudRate()->selectAll();
  w.BaudRate()->insert("9z9");
  EXPECT_EQ(w.BaudRate()->text(), "1250");
}

TEST_F(BitSetAlone, DerivedValuesFollowTheSegments) {
  BitSetWindow w(host_);
  w.Bs1()->setValue(7);
  w.Bs2()->setValue(3);
  EXPECT_EQ(w.SamplePos()->value(), 73);
  EXPECT_EQ(w.Track()->maximum(), 11);
  EXPECT_EQ(w.Track()->value(), 8);
  EXPECT_EQ(w.BaudRate()->text(), "727273");  // 8 MHz / 11
  EXPECT_EQ(w.TimeQuantum(), "TQ: 125 ns");

  w.Bs1()->setValue(4);
  EXPECT_EQ(w.SamplePos()->value(), 62);  // 62.5, halves to even
  // BS1 lowered below BS2: BS2 follows it at once.
  w.Bs1()->setValue(2);
  EXPECT_EQ(w.Bs2()->value(), 2);
  EXPECT_EQ(w.SamplePos()->value(), 60);

  // A completed BRP entry: 3 at 8 MHz is 375 ns.
  ASSERT_TRUE(ShowActive(w.window.get()));
  TypeInto(w.Brp(), "03");
  EXPECT_EQ(w.TimeQuantum(), "TQ: 375 ns");
  EXPECT_EQ(w.BaudRate()->text(), "533333");

  // The sample point typed moves the slider, within the current maximum.
  w.SamplePos()->setValue(100);
  EXPECT_EQ(w.Track()->value(), w.Track()->maximum());
}

TEST_F(BitSetAlone, BrpIsHeldWithinTheRegistersRange) {
  BitSetWindow w(host_);
  ASSERT_TRUE(ShowActive(w.window.get()));
  TypeInto(w.Brp(), "00");
  EXPECT_EQ(w.Brp()->text(), "01");
  EXPECT_EQ(w.TimeQuantum(), "TQ: 125 ns");
  // Above 64 (0x40) the field holds 64: what the window shows is what Apply writes.
  TypeInto(w.Brp(), "FF");
  EXPECT_EQ(w.Brp()->text(), "40");
  EXPECT_EQ(w.TimeQuantum(), "TQ: 8000 ns");
  EXPECT_EQ(w.BaudRate()->text(), "41667");  // 8 MHz / (64 x 3)
  TypeInto(w.Brp(), "41");
  EXPECT_EQ(w.Brp()->text(), "40");
}

TEST_F(BitSetAlone, ClockZeroOrEmptyLeavesRateAndQuantumWithoutValue) {
  BitSetWindow w(host_);
  w.Bs1()->setValue(3);
  EXPECT_EQ(w.TimeQuantum(), "TQ: 125 ns");
  w.Clock()->setText("0");
  w.Bs1()->setValue(4);
  EXPECT_EQ(w.TimeQuantum(), "");
  EXPECT_EQ(w.BaudRate()->text(), "");
  EXPECT_EQ(w.SamplePos()->value(), 83);  // the sample point needs no clock

  // With a rate typed, the search says the clock cannot reach it.
  w.Search("0", "125000", 75);
  ASSERT_EQ(w.prompt.shown.size(), 1u);
  EXPECT_EQ(w.prompt.shown[0].text, "Unable to achieve such a baudrate with this CPU clock!");
  w.Search("00", "0", 75);
  EXPECT_EQ(w.prompt.shown.back().text, "Unable to achieve such a baudrate with this CPU clock!");

  // An empty clock: nothing derived is touched.
  w.Clock()->clear();
  w.BaudRate()->setText("123");
  w.Bs1()->setValue(5);
  EXPECT_EQ(w.BaudRate()->text(), "123");
}

TEST_F(BitSetAlone, TheSearchOnTheUsualCases) {
  BitSetWindow w(host_);
  w.Rjw()->setValue(3);

  // Exact: applied with no question.
  w.Search("8", "125000", 75);
  EXPECT_TRUE(w.prompt.shown.empty());
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{16, 2, 1}));
  EXPECT_EQ(w.Brp()->text(), "10");
  EXPECT_EQ(w.BaudRate()->text(), "125000");
  EXPECT_EQ(w.SamplePos()->value(), 75);
  EXPECT_EQ(w.Rjw()->value(), 3);  // RJW keeps its value

  // Not exact: offered, taken on Yes.
  w.Search("16", "250000", 80);
  ASSERT_EQ(w.prompt.shown.size(), 1u);
  EXPECT_EQ(w.prompt.shown[0].icon, QMessageBox::Information);
  EXPECT_EQ(w.prompt.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(w.prompt.shown[0].text,
            "Possible settings for this CPU clock are:\r\rBaudRate    : 250000 bps\rSample Point: 81 %\r\r"
            "Set these values?\r");
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{4, 12, 3}));
  EXPECT_EQ(w.SamplePos()->value(), 81);

  // ... and left on No: the fields are as before the search.
  w.prompt.answer = QMessageBox::No;
  w.Search("8", "10000", 50);
  ASSERT_EQ(w.prompt.shown.size(), 2u);
  EXPECT_TRUE(w.prompt.shown[1].text.contains("BaudRate    : 10323 bps\rSample Point: 68 %"));
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{4, 12, 3}));
  EXPECT_EQ(w.BaudRate()->text(), "10000");  // still the wanted rate
  w.prompt.answer = QMessageBox::Yes;
  w.window->Calculate();
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{31, 16, 8}));
  EXPECT_EQ(w.BaudRate()->text(), "10323");
  EXPECT_EQ(w.SamplePos()->value(), 68);
}

TEST_F(BitSetAlone, TheSearchRefusesWhatItCannotDo) {
  BitSetWindow w(host_);
  w.Search("8", "9999", 50);
  w.Search("8", "2666667", 50);
  w.Search("8", "", 50);
  w.Search("", "125000", 50);
  w.SamplePos()->findChild<QLineEdit*>()->clear();
  w.window->Calculate();
  ASSERT_EQ(w.prompt.shown.size(), 5u);
  EXPECT_EQ(w.prompt.shown[0].text, "Unable to achieve such a baudrate with this CPU clock!");
  EXPECT_EQ(w.prompt.shown[1].text, "Unable to achieve such a baudrate with this CPU clock!");
  for (int i = 2; i < 5; ++i) EXPECT_EQ(w.prompt.shown[std::size_t(i)].text, "Please enter values...");
  EXPECT_EQ(w.prompt.shown[0].buttons, QMessageBox::Ok);
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{1, 1, 1}));  // nothing changed
}

TEST_F(BitSetAlone, ChoosingAnExactSettingPutsItIntoTheFields) {
  BitSetWindow w(host_);
  w.Rjw()->setValue(2);
  w.Search("8", "125000", 75);
  QAbstractItemModel* model = w.Table()->model();
  const auto expected = BitTiming::ExactSettings(8, 125000, 75);
  ASSERT_EQ(model->rowCount(), int(expected.size()));
  EXPECT_EQ(model->index(0, 0).data().toString(), "04");  // BRP 4, BS1 11, BS2 4: 75 % exactly
  EXPECT_EQ(model->index(0, 5).data().toString(), "43");  // BRPR with RJW 2
  EXPECT_EQ(model->index(0, 6).data().toString(), "3A");  // BTR
  w.Rjw()->setValue(1);
  EXPECT_EQ(model->index(0, 5).data().toString(), "03");

  ASSERT_TRUE(ShowActive(w.window.get()));
  w.Table()->resizeRowsToContents();
  const QRect row0 = w.Table()->visualRect(model->index(0, 1));
  QTest::mouseClick(w.Table()->viewport(), Qt::LeftButton, {}, row0.center());
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{4, 11, 4}));
  EXPECT_EQ(w.BaudRate()->text(), "125000");
  EXPECT_EQ(w.SamplePos()->value(), 75);
  EXPECT_EQ(w.TimeQuantum(), "TQ: 500 ns");

  // A row whose BS2 is above the shown BS1 still comes in whole.
  w.Bs1()->setValue(1);
  const auto last = int(expected.size()) - 1;
  w.window->ExactSettingChosen(last);
  EXPECT_EQ(w.Shown(), expected[std::size_t(last)].setting);

  // A search with no exact setting empties the table.
  w.Search("8", "10323", 68);
  EXPECT_EQ(model->rowCount(), 0);
}

TEST_F(BitSetAlone, NothingTouchesTheCellWhileNotConnected) {
  BitSetWindow w(host_);
  w.Bs1()->setValue(5);
  w.window->RefreshClick();
  w.window->ApplyClick();
  EXPECT_EQ(w.Bs1()->value(), 5);
  EXPECT_TRUE(w.prompt.shown.empty());
  EXPECT_TRUE(host_.errors.isEmpty());
}

}  // namespace
