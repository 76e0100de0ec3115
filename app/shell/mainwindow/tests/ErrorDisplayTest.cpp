#include "ErrorDisplay.h"

#include <QCoreApplication>
#include <QImage>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <thread>

namespace {

QColor colourAt(QWidget& widget, QPoint point) {
  return widget.grab().toImage().pixelColor(point);
}

TEST(ErrorDisplayTest, GreenWhenEmptyRedWithTheMessage) {
  TErrorDisplay display;
  display.resize(TErrorDisplay::kWidth, TErrorDisplay::kHeight);
  EXPECT_EQ(display.width(), 300);
  EXPECT_FALSE(display.showsError());
  EXPECT_EQ(display.displayText(), "Connection OK");
  EXPECT_EQ(colourAt(display, QPoint(290, 20)), QColor(0, 255, 0));

  display.showNotice(TErrorDisplay::ConnectingText);
  EXPECT_FALSE(display.showsError());
  EXPECT_EQ(display.displayText(), "Connecting...");
  EXPECT_EQ(colourAt(display, QPoint(290, 20)), display.palette().color(QPalette::Window));

  display.setText("Unable to write to /tmp/<b>a&b</b>.rgr");
  EXPECT_TRUE(display.showsError());
  EXPECT_EQ(display.displayText(), "ERROR: Unable to write to /tmp/<b>a&b</b>.rgr");
  // The tool tip shows the file name as written, not as markup.
  QTextDocument tip;
  tip.setHtml(display.toolTip());
  EXPECT_EQ(tip.toPlainText(), display.text());
  EXPECT_EQ(colourAt(display, QPoint(290, 20)), QColor(255, 0, 0));

  display.clear();
  EXPECT_EQ(display.displayText(), "Connection OK");
  EXPECT_EQ(colourAt(display, QPoint(290, 20)), QColor(0, 255, 0));
}

TEST(ErrorDisplayTest, ALongMessageWidensThePanelUpToTheStatusBar) {
  QStatusBar bar;
  bar.resize(900, TErrorDisplay::kHeight);
  auto* display = new TErrorDisplay(&bar);
  bar.addWidget(display);
  bar.show();
  const QString message = QStringLiteral("COM1: the device /dev/serial/by-id/usb-0403_6001-if00 does not exist. ") +
                          QStringLiteral("Plug the adapter in, or map the port to another device.");
  const auto shown = [&] { return display->fontMetrics().horizontalAdvance(display->displayText()); };
  display->setText(QStringLiteral("Time out..."));
  EXPECT_EQ(display->width(), TErrorDisplay::kWidth);
  display->setText(message);
  EXPECT_GT(display->width(), TErrorDisplay::kWidth);
  EXPECT_GE(display->width(), shown());  // not cut
  bar.resize(500, TErrorDisplay::kHeight);
  EXPECT_LE(display->width(), bar.contentsRect().width());  // at most the bar
  display->clear();
  EXPECT_EQ(display->width(), TErrorDisplay::kWidth);
}

TEST(ErrorDisplayTest, TextStartsFivePixelsInAndTwoDown) {
  TErrorDisplay display;
  display.resize(TErrorDisplay::kWidth, TErrorDisplay::kHeight);
  display.setText("X");
  const QImage image = display.grab().toImage();
  int firstInk = -1;
  for (int x = 0; x < 40 && firstInk < 0; ++x)
    for (int y = 0; y < image.height(); ++y)
      if (image.pixelColor(x, y) != QColor(255, 0, 0)) {
        firstInk = x;
        break;
      }
  EXPECT_GE(firstInk, 5);
  EXPECT_LE(firstInk, 8);  // the glyph's own side bearing may add a pixel or two
}

TEST(ErrorDisplayTest, AWorkerPostsAMessageWithoutWaitingForTheGuiThread) {
  TErrorDisplay display;
  // The worker ends before the GUI thread looks at its queue: posting never blocks.
  std::thread worker([&display] { display.showMessageQueued("Bad MCU answer while reading."); });
  worker.join();
  EXPECT_FALSE(display.showsError());
  QCoreApplication::processEvents();
  EXPECT_EQ(display.text(), "Bad MCU answer while reading.");
}

TEST(ErrorDisplayTest, AnErrorStaysUntilItHasBeenSeenBeforeAGoodStatusClearsIt) {
  TErrorDisplay display;
  display.resize(TErrorDisplay::kWidth, TErrorDisplay::kHeight);
  display.show();
  // A failed pass and the good pass after it, reported together.
  display.showStatus("Time out...");
  display.showStatus("");
  EXPECT_EQ(display.text(), "Time out...");
  EXPECT_EQ(colourAt(display, QPoint(290, 20)), QColor(255, 0, 0));
  EXPECT_TRUE(display.clearPending());

  // Another error replaces it at once and is held in its turn; one given
  // with setText (a window's, a file's) waits for the person's next action too.
  display.setText("Unable to write to /tmp/a.rgr");
  EXPECT_FALSE(display.clearPending());
  display.showStatus("");
  EXPECT_EQ(display.text(), "Unable to write to /tmp/a.rgr");
  QTest::qWait(int(TErrorDisplay::kErrorHoldTime.count()) + 200);
  EXPECT_EQ(display.text(), "Unable to write to /tmp/a.rgr");
  QTest::keyClick(&display, Qt::Key_Shift);  // an action
  ASSERT_TRUE(QTest::qWaitFor([&] { return !display.showsError(); }, 10000));
  EXPECT_EQ(colourAt(display, QPoint(290, 20)), QColor(0, 255, 0));

  // Once green, a good status changes nothing, and an explicit clear is never held back.
  display.showStatus("");
  EXPECT_FALSE(display.clearPending());
  display.showStatus("Time out...");
  display.clear();
  EXPECT_FALSE(display.showsError());
}

// What a watcher of the panel hears: every error given, repeated ones too,
// and each change of the panel, the held one's end included.
TEST(ErrorDisplayTest, ItsSignalsReportEveryErrorGivenAndEveryChangeOfThePanel) {
  TErrorDisplay display;
  QSignalSpy reported(&display, &TErrorDisplay::errorReported);
  QSignalSpy changed(&display, &TErrorDisplay::textChanged);

  display.showStatus("Time out...");
  display.setText("Time out...");
  display.newAction();
  display.showStatus("");  // held: the panel stays red for now
  EXPECT_EQ(reported.count(), 2);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.at(0).at(0).toString(), "Time out...");

  ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() == 2; }, 10000));
  EXPECT_EQ(changed.at(1).at(0).toString(), "");
  EXPECT_EQ(reported.count(), 2);  // turning green reports no error
}

}  // namespace
