// The main window's parts on their own: client area painting and arranging,
// and dock sites.
#include "ClientArea.h"
#include "DockLayout.h"
#include "ShellTestSupport.h"

#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QMdiSubWindow>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace shelltest;

namespace {

// ---- client area ---------------------------------------------------------------

TEST(ClientAreaTest, DrawsTheBackgroundStretchedAndTheLogoInTheCentre) {
  TClientArea area;
  area.resize(762, 600);
  area.setPaintingHooked(true);
  area.show();
  const QSize size = area.viewport()->size();
  const QPoint logo = area.logoPosition(size);
  EXPECT_EQ(logo, QPoint(size.width() / 2 - area.logoPicture().width() / 2,
                         size.height() / 2 - area.logoPicture().height() / 2));

  const QImage shot = area.viewport()->grab().toImage();
  // Rows of the background have one colour each, so its corners match the
  // stretched picture's first and last rows.
  EXPECT_EQ(shot.pixelColor(2, 0), area.backgroundPicture().pixelColor(0, 0));
  EXPECT_EQ(shot.pixelColor(size.width() - 3, 0), shot.pixelColor(2, 0));
  // The logo is drawn with its transparency: its transparent corner shows the background.
  EXPECT_FALSE(area.logoOpaque());
  EXPECT_EQ(shot.pixelColor(logo + QPoint(1, 1)), shot.pixelColor(logo + QPoint(-1, 1)));
  // and its drawing is there: the centre differs from the background beside it.
  const QPoint centre = logo + QPoint(area.logoPicture().width() / 2, 62);
  EXPECT_NE(shot.pixelColor(centre), shot.pixelColor(QPoint(2, centre.y())));

  area.setPaintingHooked(false);  // the close unhooks it: Qt's own background again
  const QImage plain = area.viewport()->grab().toImage();
  EXPECT_EQ(plain.pixelColor(centre), plain.pixelColor(QPoint(2, centre.y())));
}

TEST(ClientAreaTest, TilesAndArrangesTheChildWindows) {
  TClientArea area;
  area.resize(600, 400);
  area.show();
  std::vector<QMdiSubWindow*> subs;
  for (int i = 0; i < 3; ++i) {
    subs.push_back(area.addSubWindow(new QLabel(QStringLiteral("child %1").arg(i))));
    subs.back()->show();
  }
  const QRect viewport = area.viewport()->rect();

  area.tileVertically();  // side by side, full height
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(subs[std::size_t(i)]->geometry().top(), viewport.top());
    EXPECT_EQ(subs[std::size_t(i)]->height(), viewport.height());
    EXPECT_EQ(subs[std::size_t(i)]->geometry().left(), viewport.width() * i / 3);
  }
  area.tileHorizontally();  // one above the other, full width
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(subs[std::size_t(i)]->geometry().left(), viewport.left());
    EXPECT_EQ(subs[std::size_t(i)]->width(), viewport.width());
    EXPECT_EQ(subs[std::size_t(i)]->geometry().top(), viewport.height() * i / 3);
  }

  // A window whose controls need more than its cell keeps them whole.
  auto* wide = area.addSubWindow(new QLabel(QString(120, QLatin1Char('W'))));
  wide->show();
  area.tileVertically();
  EXPECT_GE(wide->width(), wide->minimumSizeHint().width());
  delete wide;

  subs[0]->showMinimized();
  subs[2]->showMinimized();
  subs[0]->move(100, 50);
  area.arrangeIcons();
  EXPECT_EQ(subs[0]->geometry().left(), 0);
  EXPECT_EQ(subs[0]->geometry().bottom(), viewport.bottom());
  EXPECT_EQ(subs[2]->geometry().left(), subs[0]->geometry().right() + 1);
  EXPECT_EQ(subs[2]->geometry().bottom(), viewport.bottom());
}

// The first start's arrangement: at their own sizes, from the top left, none
// over another; what does not fit is minimised without covering the others.
TEST(ClientAreaTest, FirstStartPlacesTheWindowsSideBySide) {
  TClientArea area;
  area.resize(640, 520);
  area.show();
  QList<QMdiSubWindow*> subs;
  for (const QSize size : {QSize(300, 250), QSize(500, 200), QSize(300, 200), QSize(400, 400)}) {
    subs << area.addSubWindow(new QLabel(QStringLiteral("child")));
    subs.last()->resize(size);
    subs.last()->show();
  }
  area.placeSideBySide(subs);
  EXPECT_EQ(subs[0]->pos(), QPoint(0, 0));
  EXPECT_EQ(subs[1]->pos(), QPoint(0, 250));  // no room beside the first: below it
  EXPECT_EQ(subs[2]->pos(), QPoint(300, 0));  // beside the first
  EXPECT_TRUE(subs[3]->isMinimized());
  for (QMdiSubWindow* a : subs)
    for (QMdiSubWindow* b : subs)
      if (a != b) {
        EXPECT_FALSE(a->geometry().intersects(b->geometry()));
      }
}

// ---- dock sites ----------------------------------------------------------------

TEST(DockLayoutTest, DockingUsesTheSiteSizeAndUndockingRemembersIt) {
  QMainWindow window;
  window.setCentralWidget(new QLabel("centre"));
  window.resize(762, 649);
  TDockLayout layout(&window);
  layout.setSizesFromClient(QSize(762, 649));
  EXPECT_EQ(layout.dockSize(Qt::RightDockWidgetArea), 254);
  EXPECT_EQ(layout.dockSize(Qt::TopDockWidgetArea), 216);
  window.show();

  auto* dock = new QDockWidget("Trace", &window);
  dock->setWidget(new QLabel("trace"));
  dock->setFloating(true);
  dock->resize(200, 300);
  layout.dockIntoLastSite(dock);
  dock->show();
  EXPECT_EQ(window.dockWidgetArea(dock), Qt::RightDockWidgetArea);
  EXPECT_TRUE(WaitUntil([&] { return std::abs(dock->width() - 254) <= 2; })) << dock->width();

  // The user widens the site, then floats the window: the site keeps that width.
  window.resizeDocks({dock}, {300}, Qt::Horizontal);
  EXPECT_TRUE(WaitUntil([&] { return std::abs(dock->width() - 300) <= 2; })) << dock->width();
  const int docked = dock->width();
  dock->setFloating(true);
  EXPECT_EQ(layout.dockSize(Qt::RightDockWidgetArea), docked);

  // Docked at the bottom: the last site follows.
  window.addDockWidget(Qt::BottomDockWidgetArea, dock);
  dock->setFloating(false);
  EXPECT_EQ(layout.lastDockSite(), Qt::BottomDockWidgetArea);
}

}  // namespace
