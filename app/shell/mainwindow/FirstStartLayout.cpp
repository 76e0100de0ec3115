#include "FirstStartLayout.h"

#include "ClientArea.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTimer>

void FirstStartLayout::fitToScreen(QMainWindow& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect free = screen->availableGeometry();
  // The window manager's frame comes on top of this size.
  const QSize size = QSize(free.width() * 9 / 10, free.height() * 9 / 10).expandedTo(window.minimumSizeHint());
  window.resize(size);
  window.move(free.center() - QPoint(size.width() / 2, size.height() / 2));
}

void FirstStartLayout::arrangeOnceShown(QMainWindow& window, TClientArea& area,
                                        const QList<QPointer<QMdiSubWindow>>& windows) {
  if (windows.isEmpty()) return;
  QTimer::singleShot(0, &window, [&window, &area, windows] {
    // The dock and the client area take their sizes in the main window's layout.
    if (QLayout* frame = window.layout()) frame->activate();
    QList<QMdiSubWindow*> shown;
    for (const QPointer<QMdiSubWindow>& sub : windows)
      if (sub && !sub->isHidden()) shown << sub;
    area.placeSideBySide(shown);
  });
}
