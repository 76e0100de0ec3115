// The Transmission window against the simulated board (TransmitOnBoard.h):
// its controls, the frames typed in, Refresh, the keyboard and the stored
// settings; and its frame inside the client area. The generated data and the
// periodic runs are TransmitRunTest.cpp's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

#include "HexEdit.h"
#include "SettingsStore.h"
#include "TransmitOnBoard.h"

using namespace CanReg;
using Bytes = std::vector<std::uint8_t>;

TEST_F(TransmitOnBoard, LayoutDefaultsAndVisibility) {
  EXPECT_EQ(window_->windowTitle(), "Transmission");
  EXPECT_EQ(Pages()->currentWidget()->objectName(), "Auto");
  EXPECT_EQ(Visible(Pages()->tabText(0)), "User Data");
  EXPECT_EQ(Visible(Pages()->tabText(1)), "Automatic Data");
  EXPECT_EQ(Visible(Apply()->text()), "Send");
  EXPECT_FALSE(window_->Timer()->enabled());
  EXPECT_EQ(Panel(), " ");
  EXPECT_EQ(Number("Period")->minimum(), 1);
  EXPECT_EQ(Number("Period")->maximum(), 60);
  EXPECT_EQ(Number("BuffNum")->value(), 1);
  EXPECT_EQ(Number("BuffNum")->maximum(), 3);
  EXPECT_EQ(Number("UserLength")->maximum(), 8);
  EXPECT_EQ(F("CntMin")->digits(), 16);
  EXPECT_EQ(F("UserID")->digits(), 3);

  // Period only with automatic repetition, which Apply's caption follows.
  QWidget* period = Find<QWidget>("PeriodPanel");
  EXPECT_TRUE(period->isHidden());
  EXPECT_EQ(Choice("Repetition")->button(1), Find<QRadioButton>("Repetition1"));
  Find<QRadioButton>("Repetition1")->click();
  EXPECT_FALSE(period->isHidden());
  EXPECT_EQ(Visible(Apply()->text()), "Start");
  Choice("Repetition")->button(0)->click();
  EXPECT_TRUE(period->isHidden());
  EXPECT_EQ(Visible(Apply()->text()), "Send");

  // Counter bounds or shift direction, by the mode.
  EXPECT_FALSE(Find<QWidget>("CntOpt")->isHidden());
  EXPECT_TRUE(Find<QWidget>("ShiftOpt")->isHidden());
  Find<QRadioButton>("ShiftMode")->click();
  EXPECT_TRUE(Find<QWidget>("CntOpt")->isHidden());
  EXPECT_FALSE(Find<QWidget>("ShiftOpt")->isHidden());
  EXPECT_FALSE(Find<QRadioButton>("CntMode")->isChecked());

  // The data bytes for a data frame only.
  Choice("FrameType")->button(1)->click();
  EXPECT_TRUE(Find<QWidget>("DataPanel")->isHidden());
  Choice("FrameType")->button(0)->click();
  EXPECT_FALSE(Find<QWidget>("DataPanel")->isHidden());
}

TEST_F(TransmitOnBoard, AUserFrameWritesItsLengthAndData7Last) {
  // Length 3 from buffer 2: Data3-Data6 keep what they held.
  for (int k = 3; k < 7; ++k) sim_->pokeRegister(2, std::uint16_t(Data0 + k), 0xEE);
  UserFrame(0x123, 3, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88});
  Number("BuffNum")->setValue(2);
  Click();
  TTransmitFrame expected{0x123, false, 3, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}};
  EXPECT_EQ(Writes(), OnTheLine(FrameWrites(expected, 2)));
  EXPECT_EQ(Writes().back(), (Bytes{Data7, 0x00}));
  for (int k = 3; k < 7; ++k) EXPECT_EQ(sim_->peekRegister(2, std::uint16_t(Data0 + k)), 0xEE) << k;
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(sim_->transmittedFrames()[0].buffer, 2);
  EXPECT_EQ(Sent()[0].id, 0x123u);
  EXPECT_EQ(Sent()[0].dlc, 3);
  EXPECT_EQ(SentByte(2), std::vector<int>{0x33});

  // While the frame is out, only Apply can be used; the tick shows the
  // outcome and gives the controls back.
  EXPECT_FALSE(Pages()->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("Refresh")->isEnabled());
  EXPECT_TRUE(Apply()->isEnabled());
  EXPECT_TRUE(window_->Timer()->enabled());
  Tick();
  EXPECT_EQ(Panel(), "Transmission OK");
  EXPECT_FALSE(window_->Timer()->enabled());
  EXPECT_TRUE(Pages()->isEnabled());
  SaveScreenshot(window_.get(), "transmission-user");

  // Length 8: every data register, Data7 last with byte 7. Length 0: Data7 alone, with 0.
  ClearTranscript();
  Number("UserLength")->setValue(8);
  Click();
  expected.length = 8;
  EXPECT_EQ(Writes(), OnTheLine(FrameWrites(expected, 2)));
  EXPECT_EQ(Writes().back(), (Bytes{Data7, 0x88}));
  ClearTranscript();
  Number("UserLength")->setValue(0);
  Click();
  EXPECT_EQ(Writes().size(), 14u);  // the 6 steps (2 of them paged), IDHR, IDLR, Data7: PSR before each paged one
  EXPECT_EQ(Writes().back(), (Bytes{Data7, 0x00}));
  ASSERT_EQ(Sent().size(), 3u);
  EXPECT_EQ(Sent()[1].dlc, 8);
  EXPECT_EQ(Sent()[1].data[7], 0x88);
  EXPECT_EQ(Sent()[2].dlc, 0);
}

TEST_F(TransmitOnBoard, ARemoteFrameCarriesItsFlagAndItsLength) {
  UserFrame(0, 2, {0xA1, 0xA2}, true);
  TypeInto(F("UserID"), "FFF");  // an identifier above 7FF loses its bits above bit 10
  Click();
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_TRUE(Sent()[0].remote);
  EXPECT_EQ(Sent()[0].id, 0x7FFu);
  EXPECT_EQ(Sent()[0].dlc, 2);
  EXPECT_EQ(sim_->peekRegister(1, IDLR), 0xF2);
  // The data bytes up to the length are still written.
  EXPECT_EQ(sim_->peekRegister(1, Data0), 0xA1);
  EXPECT_EQ(sim_->peekRegister(1, Data0 + 1), 0xA2);
}

TEST_F(TransmitOnBoard, NothingHappensWhileNotConnected) {
  host_.connected = false;
  UserFrame(0x100, 1, {1});
  Click();
  window_->RefreshClick();
  window_->SendingTimer();
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(Pages()->isEnabled());
  EXPECT_EQ(Visible(Apply()->text()), "Send");
}

TEST_F(TransmitOnBoard, RefreshFillsTheActivePageFromTheBuffer) {
  sim_->pokeRegister(3, IDHR, 0xFF);
  sim_->pokeRegister(3, IDLR, 0xFF);  // identifier 7FF, remote, length code 15
  for (int k = 0; k < 8; ++k) sim_->pokeRegister(3, std::uint16_t(Data0 + k), std::uint8_t(0xC0 + k));
  ReadAll();
  ClearTranscript();
  Number("BuffNum")->setValue(3);

  window_->RefreshClick();  // the Auto page: identifier and length only
  EXPECT_EQ(F("AutoID")->text(), "7FF");
  EXPECT_EQ(Number("AutoLength")->value(), 8);  // a length above 8 shows as 8
  EXPECT_EQ(F("UserID")->text(), "000");

  ShowPage("User");
  window_->RefreshClick();
  EXPECT_EQ(F("UserID")->text(), "7FF");
  EXPECT_EQ(Number("UserLength")->value(), 8);
  EXPECT_EQ(Choice("FrameType")->itemIndex(), 1);
  EXPECT_TRUE(Find<QWidget>("DataPanel")->isHidden());
  EXPECT_EQ(F("Dat0")->text(), "C0");
  EXPECT_EQ(F("Dat7")->text(), "C7");
  EXPECT_TRUE(Requests().empty());  // copied from the image, nothing read
}

TEST_F(TransmitOnBoard, CounterBoundsNeverCrossWhenAFieldIsLeft) {
  F("CntMax")->setValue(0x10);
  TypeInto(F("CntMin"), "FFFFFFFFFFFFFFF0");
  F("AutoID")->setFocus();  // leaving CntMin
  EXPECT_EQ(F("CntMin")->text(), "0000000000000010");
  TypeInto(F("CntMax"), "0000000000000001");  // below CntMin
  F("AutoID")->setFocus();
  EXPECT_EQ(F("CntMax")->text(), "0000000000000010");
  // Compared as unsigned numbers: FFFF... is the largest.
  TypeInto(F("CntMax"), "FFFFFFFFFFFFFFFF");
  F("AutoID")->setFocus();
  EXPECT_EQ(F("CntMax")->text(), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(F("CntMin")->text(), "0000000000000010");
}

// Typed, sent with Enter, typed again, sent again: the focus comes back to
// the field it was in once the controls are enabled again.
TEST_F(TransmitOnBoard, TheKeyboardAloneSendsOneFrameAfterAnother) {
  UserFrame(0x042, 2, {});
  F("Dat0")->setFocus();
  QTest::keyClicks(F("Dat0"), "42");  // the second digit hands the focus on to Dat1
  ASSERT_TRUE(F("Dat1")->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(WaitForJobs());
  Tick();  // the outcome shown, the controls enabled again
  ASSERT_EQ(QApplication::focusWidget(), F("Dat1"));
  QTest::keyClicks(QApplication::focusWidget(), "55");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(WaitForJobs());
  ASSERT_EQ(Sent().size(), 2u);
  EXPECT_EQ(SentByte(0), (std::vector<int>{0x42, 0x42}));
  EXPECT_EQ(SentByte(1), (std::vector<int>{0x00, 0x55}));
}

TEST_F(TransmitOnBoard, SettingsStoredAtCloseComeBackAtTheNextCreation) {
  ShowPage("User");
  Automatic(42);
  Number("BuffNum")->setValue(3);
  Find<QRadioButton>("ShiftMode")->click();
  Choice("ShiftOpt")->setItemIndex(1);
  F("CntMin")->setValue(0x0123456789ABCDEF);
  F("CntMax")->setValue(-1);
  window_.reset();

  TSettingsStore key(QStringLiteral("Transmission"));
  EXPECT_EQ(key.readInt("Automatic"), 0);
  EXPECT_EQ(key.readInt("CntMaxLow"), -1);

  Create();
  EXPECT_EQ(Pages()->currentWidget()->objectName(), "User");
  EXPECT_EQ(Choice("Repetition")->itemIndex(), 1);
  EXPECT_EQ(Visible(Apply()->text()), "Start");
  EXPECT_EQ(Number("Period")->value(), 42);
  EXPECT_EQ(Number("BuffNum")->value(), 3);
  EXPECT_TRUE(Find<QRadioButton>("ShiftMode")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>("CntMode")->isChecked());
  EXPECT_TRUE(Find<QWidget>("CntOpt")->isHidden());
  EXPECT_EQ(F("CntMin")->text(), "0123456789ABCDEF");
  EXPECT_EQ(F("CntMax")->text(), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Choice("ShiftOpt")->itemIndex(), 1);
}

// Settings written by hand or by another version: values beyond the
// controls' ranges take the nearest limit, and loading stops at the first
// value that is missing or not an integer.
TEST_F(TransmitOnBoard, StoredValuesOutOfRangeOrMissing) {
  window_.reset();
  {
    TSettingsStore key(QStringLiteral("Transmission"));
    key.writeInt("Automatic", 1);
    key.writeInt("Periodic", 1);
    key.writeInt("Period", 1000);
    key.writeInt("BuffNum", -7);
    key.writeString("CounterMode", "yes");
    key.writeInt("CntMinHigh", 5);
    key.sync();
  }
  Create();
  EXPECT_EQ(Number("Period")->value(), 60);
  EXPECT_EQ(Number("BuffNum")->value(), 1);
  EXPECT_TRUE(Find<QRadioButton>("CntMode")->isChecked());  // the layout's, from there on
  EXPECT_EQ(F("CntMin")->text(), "0000000000000000");
}

// Automatic repetition shows the Period panel, which needs more width than
// manual repetition. Inside the main window's client area the frame does
// not follow its contents by itself: without growing it, the layout cut the
// caption "Automatic Transmission" (or the frame cut the window's right
// edge).
TEST(TransmitLayout, AutomaticRepetitionGrowsTheFrameSoThatNothingIsCut) {
  FakeToolWindowHost host;
  QMdiArea area;
  area.resize(900, 700);
  area.show();
  auto* frm = new TTransmitFrm(host);
  QMdiSubWindow* frame = area.addSubWindow(frm);
  frame->show();
  QCoreApplication::processEvents();

  auto* automatic = frm->findChild<QRadioButton*>(QStringLiteral("Repetition1"));
  ASSERT_NE(automatic, nullptr);
  automatic->click();
  QCoreApplication::processEvents();

  EXPECT_GE(automatic->width(), automatic->sizeHint().width()) << "the caption is cut";
  const QRect inside = frame->contentsRect();
  EXPECT_LE(frm->geometry().right(), inside.right()) << "the frame cuts the window";
  EXPECT_LE(frm->geometry().bottom(), inside.bottom()) << "the frame cuts the window";
}
