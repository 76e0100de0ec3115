#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "BitButton.h"
#include "BitPanel.h"

namespace {

const QStringList IcrCaptions = {"ETX", "TEIE", "ORIE", "SCIE", "TXIE", "RXIE", "ESCI", "0"};

void press(TBitPanel& panel, int bit) {
  QTest::mousePress(panel.button(bit), Qt::LeftButton);
}

TEST(BitPanel, LaysOutBitZeroOnTheRight) {
  TBitPanel panel;
  panel.resize(337, 50);
  panel.setUpMargin(11);
  panel.setButtons(IcrCaptions);
  panel.show();  // a hidden widget gets its resize events only when shown
  ASSERT_EQ(panel.nbButtons(), 8);
  EXPECT_EQ(panel.margin(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(panel.button(i)->width(), 40) << i;
    EXPECT_EQ(panel.button(i)->y(), 19) << i;
    EXPECT_EQ(panel.button(i)->height(), 50 - 19 - 8) << i;
    EXPECT_EQ(panel.button(i)->caption(), IcrCaptions.at(i));
  }
  EXPECT_EQ(panel.button(0)->x(), 289);
  EXPECT_EQ(panel.button(7)->x(), 9);
  panel.resize(200, 50);  // resizing lays out again
  EXPECT_EQ(panel.button(0)->width(), (200 - 16) / 8);
  EXPECT_EQ(panel.button(0)->x(), 200 - 8 - (200 - 16) / 8);
}

TEST(BitPanel, FixedBitsKeepTheirValue) {
  TBitPanel panel;
  panel.resize(337, 50);
  QStringList captions = IcrCaptions;
  captions[6] = "1";
  panel.setButtons(captions);
  panel.setValue(0x80);
  EXPECT_FALSE(panel.button(7)->isSunken());  // "0" stays raised
  EXPECT_TRUE(panel.button(6)->isSunken());   // "1" stays sunken
  QSignalSpy changes(&panel, &TBitPanel::change);
  press(panel, 7);
  press(panel, 6);
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(panel.value(), 0x80);
  press(panel, 0);
  ASSERT_EQ(changes.count(), 1);
  EXPECT_EQ(panel.value(), 0x41);  // bit 7 cleared, fixed bit 6 set, bit 0 flipped
}

TEST(BitPanel, PressingTwiceRestoresTheValue) {
  TBitPanel panel;
  panel.resize(337, 50);
  panel.setButtons(IcrCaptions);
  QSignalSpy changes(&panel, &TBitPanel::change);
  panel.setValue(0x12);
  panel.setValue(0x12);
  EXPECT_EQ(changes.count(), 0);  // setting a value never raises change
  press(panel, 2);
  EXPECT_EQ(panel.value(), 0x16);
  EXPECT_TRUE(panel.button(2)->isSunken());
  press(panel, 2);
  EXPECT_EQ(panel.value(), 0x12);
  EXPECT_EQ(changes.count(), 2);
  // A double click reaches a widget as press, release, double click, release.
  QTest::mouseClick(panel.button(3), Qt::LeftButton);
  QTest::mouseDClick(panel.button(3), Qt::LeftButton);
  EXPECT_EQ(panel.value(), 0x12);
  EXPECT_EQ(changes.count(), 4);
  QTest::mousePress(panel.button(1), Qt::RightButton);  // any mouse button
  EXPECT_EQ(panel.value(), 0x10);
}

TEST(BitPanel, NbButtonsMustMatchTheCaptions) {
  TBitPanel panel;
  panel.setButtons(IcrCaptions);
  panel.setNbButtons(9);
  EXPECT_EQ(panel.nbButtons(), 8);
  panel.setNbButtons(8);  // rebuilds, never doubles the buttons
  EXPECT_EQ(panel.findChildren<TBitButton*>().size(), 8);
  panel.setButtons({});
  EXPECT_EQ(panel.nbButtons(), 0);
  EXPECT_EQ(panel.findChildren<TBitButton*>().size(), 0);
}

TEST(BitPanel, HintsGoToTheirButtons) {
  TBitPanel panel;
  panel.setButtons({"A", "B", "C"});
  panel.setButtonsHint({"first", "Short|Long text"});
  EXPECT_EQ(panel.button(0)->toolTip(), "first");
  EXPECT_EQ(panel.button(1)->toolTip(), "Short");
  EXPECT_EQ(panel.button(1)->statusTip(), "Long text");
  EXPECT_TRUE(panel.button(2)->toolTip().isEmpty());
  panel.setButtonsHint({});
  EXPECT_TRUE(panel.button(0)->toolTip().isEmpty());
}

TEST(BitPanel, ExtremePropertiesGiveADefinedLayout) {
  TBitPanel panel;
  QStringList many;
  for (int i = 0; i < 40; ++i) many << QString::number(i + 10);
  panel.setButtons(many);
  for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(337, 50)}) {
    panel.resize(size);
    for (int margin : {-100000, -1, 0, 8, 2147483647, -2147483647 - 1}) {
      panel.setMargin(margin);
      panel.setUpMargin(margin);
      for (int i = 0; i < panel.nbButtons(); ++i) {
        EXPECT_GE(panel.button(i)->width(), 0);
        EXPECT_GE(panel.button(i)->height(), 0);
      }
    }
  }
  panel.setMargin(8);
  panel.setUpMargin(0);
  panel.setValue(-1);
  press(panel, 35);  // beyond bit 31: the button flips, the 32-bit value keeps its bits
  press(panel, 31);
  EXPECT_EQ(panel.value(), 0x7FFFFFFF);
  EXPECT_FALSE(panel.button(31)->isSunken());
}

TEST(BitPanel, ChangeHandlerMayReplaceTheButtons) {
  TBitPanel panel;
  panel.setButtons(IcrCaptions);
  QObject::connect(&panel, &TBitPanel::change, &panel, [](TBitPanel* p) { p->setButtons({"X", "Y"}); });
  press(panel, 0);
  EXPECT_EQ(panel.nbButtons(), 2);
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(panel.findChildren<TBitButton*>().size(), 2);
}

}  // namespace
