#include "HintPanel.h"

#include <QAction>
#include <QDialog>
#include <QDockWidget>
#include <QEnterEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(HintTest, ShortAndLongParts) {
  EXPECT_EQ(Hint::shortPart("Save current trace|Click to save current trace."), "Save current trace");
  EXPECT_EQ(Hint::longPart("Save current trace|Click to save current trace."), "Click to save current trace.");
  EXPECT_EQ(Hint::shortPart("4800 bauds"), "4800 bauds");
  EXPECT_EQ(Hint::longPart("4800 bauds"), "4800 bauds");
  EXPECT_EQ(Hint::shortPart("a|b|c"), "a");
  EXPECT_EQ(Hint::longPart("a|b|c"), "b|c");
  EXPECT_EQ(Hint::longPart("|only long"), "only long");
  EXPECT_EQ(Hint::shortPart(""), "");

  QPushButton button;
  Hint::apply(&button, "Clear the trace");
  EXPECT_EQ(button.toolTip(), "Clear the trace");
  EXPECT_EQ(button.statusTip(), "Clear the trace");
  QAction action("&Exit");
  Hint::apply(&action, "Exit Vorelan|Click to quit Vorelan.");
  EXPECT_EQ(action.toolTip(), "Exit Vorelan");
  EXPECT_EQ(action.statusTip(), "Click to quit Vorelan.");
}

TEST(HintPanelTest, ShowsTheLongHintOfWhatIsUnderTheMouse) {
  QMainWindow window;
  auto* panel = new THintPanel;
  window.statusBar()->addWidget(panel, 1);
  panel->attachTo(&window);
  auto* button = new QPushButton("&Clear");
  Hint::apply(button, "Clear|Clear the whole trace");
  window.setCentralWidget(button);
  QMenu* file = window.menuBar()->addMenu("&File");
  QAction* exit = file->addAction("&Exit");
  Hint::apply(exit, "Exit Vorelan|Click to quit Vorelan.");
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  // A status tip travels from the control up to the main window.
  QStatusTipEvent tip(button->statusTip());
  QCoreApplication::sendEvent(button, &tip);
  EXPECT_EQ(panel->text(), "Clear the whole trace");
  EXPECT_TRUE(window.statusBar()->currentMessage().isEmpty());

  // Hovering a menu entry.
  file->popup(window.mapToGlobal(QPoint(0, 0)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
  QTest::mouseMove(file, file->actionGeometry(exit).center());
  QTRY_COMPARE_WITH_TIMEOUT(panel->text(), QString("Click to quit Vorelan."), 2000);
  file->hide();

  // Leaving a control clears it; the program may write it directly.
  QStatusTipEvent none{QString()};
  QCoreApplication::sendEvent(button, &none);
  EXPECT_EQ(panel->text(), "");
  panel->showNow("Loading... Please Wait");
  EXPECT_EQ(panel->text(), "Loading... Please Wait");
  EXPECT_GE(panel->minimumWidth(), 50);
}

TEST(HintPanelTest, ShowsTheHintsOfTheMainWindowsOwnWindowsButNotOfOthers) {
  QMainWindow window;
  auto* panel = new THintPanel;
  window.statusBar()->addWidget(panel, 1);
  panel->attachTo(&window);
  window.setCentralWidget(new QPushButton("&Main"));
  // The Trace window undocked: a window of its own, owned by the main window.
  auto* dock = new QDockWidget("Trace", &window);
  auto* clear = new QPushButton("&Clear");
  Hint::apply(clear, "Clear|Clear the whole trace");
  dock->setWidget(clear);
  window.addDockWidget(Qt::RightDockWidgetArea, dock);
  dock->setFloating(true);
  // A dialog of the main window, as the About box is.
  QDialog about(&window);
  auto* ok = new QPushButton("OK", &about);
  Hint::apply(ok, "Close this window");
  // A window that is not the main window's.
  QWidget stranger;
  auto* other = new QPushButton("Other", &stranger);
  Hint::apply(other, "Not ours");
  window.show();
  dock->show();
  about.show();
  stranger.show();
  ASSERT_TRUE(dock->isWindow());

  // The mouse entering a control sends its status tip.
  const auto hover = [](QWidget* control) {
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(control, &enter);
  };
  hover(clear);
  EXPECT_EQ(panel->text(), "Clear the whole trace");
  hover(ok);
  EXPECT_EQ(panel->text(), "Close this window");
  hover(other);
  EXPECT_EQ(panel->text(), "Close this window");

  panel->detach();
  hover(clear);
  EXPECT_EQ(panel->text(), "Close this window");
}

}  // namespace
