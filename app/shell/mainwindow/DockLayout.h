#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QSize>
#include <Qt>

#include <functional>

class QDockWidget;
class QMainWindow;

// The main window's four edge dock sites (PanelLeft, PanelRight, PanelTop,
// PanelBottom: the dock areas of the QMainWindow) and their remembered sizes:
// the width of the left and right sites and the height of the top and bottom
// ones. A site takes no room while empty; until a window left it (keeping the
// size it had then), a site is at least as large as the window docked into
// it wants. A window docked into a site gives
// the site its remembered size and makes it the last dock site, where the
// Windows menu docks the window when it is opened again. When a site's only
// window leaves it, the site's size at that moment is remembered.
//
// Threads: GUI thread only.
class TDockLayout : public QObject {
  Q_OBJECT

 public:
  explicit TDockLayout(QMainWindow* mainWindow);

  // The sizes at start-up: a third of the client area's width for the left
  // and right sites, a third of its height for the top and bottom ones
  // (integer division). The last dock site becomes the right one.
  void setSizesFromClient(const QSize& client);
  int dockSize(Qt::DockWidgetArea site) const;
  Qt::DockWidgetArea lastDockSite() const { return lastSite_; }

  // Follows a dockable window's docking and undocking from now on.
  void watch(QDockWidget* dock);
  // Docks the window into the last dock site with the site's size.
  void dockIntoLastSite(QDockWidget* dock);

  // Runs after every docking and undocking (the main window arranges the
  // minimised child windows again).
  void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

 private:
  void docked(QDockWidget* dock, Qt::DockWidgetArea site);
  void undocked(QDockWidget* dock);
  bool eventFilter(QObject* watched, QEvent* event) override;

  QMainWindow* main_;
  QHash<Qt::DockWidgetArea, int> sizes_;
  QSet<Qt::DockWidgetArea> chosen_;  // sites whose size a leaving window set
  Qt::DockWidgetArea lastSite_ = Qt::RightDockWidgetArea;
  // Where each watched window sits and its size there, kept up to date while
  // it is docked, so that its site's size is known when it leaves.
  struct Place {
    Qt::DockWidgetArea site = Qt::NoDockWidgetArea;
    QSize size;
  };
  QHash<QDockWidget*, Place> places_;
  std::function<void()> onChange_;
};
