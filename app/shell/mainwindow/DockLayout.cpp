#include "DockLayout.h"

#include <QDockWidget>
#include <QEvent>
#include <QMainWindow>

#include <algorithm>

namespace {

bool sideways(Qt::DockWidgetArea site) {
  return site == Qt::LeftDockWidgetArea || site == Qt::RightDockWidgetArea;
}

}  // namespace

TDockLayout::TDockLayout(QMainWindow* mainWindow) : QObject(mainWindow), main_(mainWindow) {
  setObjectName(QStringLiteral("DockLayout"));
}

void TDockLayout::setSizesFromClient(const QSize& client) {
  sizes_[Qt::LeftDockWidgetArea] = client.width() / 3;
  sizes_[Qt::RightDockWidgetArea] = client.width() / 3;
  sizes_[Qt::TopDockWidgetArea] = client.height() / 3;
  sizes_[Qt::BottomDockWidgetArea] = client.height() / 3;
  lastSite_ = Qt::RightDockWidgetArea;
}

int TDockLayout::dockSize(Qt::DockWidgetArea site) const {
  return sizes_.value(site, 0);
}

void TDockLayout::watch(QDockWidget* dock) {
  if (places_.contains(dock)) return;
  places_.insert(dock, Place{});
  dock->installEventFilter(this);
  connect(dock, &QDockWidget::dockLocationChanged, this, [this, dock](Qt::DockWidgetArea site) {
    if (site == Qt::NoDockWidgetArea || dock->isFloating())
      undocked(dock);
    else
      docked(dock, site);
  });
  connect(dock, &QDockWidget::topLevelChanged, this, [this, dock](bool floating) {
    if (floating)
      undocked(dock);
    else
      docked(dock, main_->dockWidgetArea(dock));
  });
  connect(dock, &QObject::destroyed, this, [this, dock] { places_.remove(dock); });
  if (!dock->isFloating() && main_->dockWidgetArea(dock) != Qt::NoDockWidgetArea)
    places_[dock] = Place{main_->dockWidgetArea(dock), dock->size()};
}

void TDockLayout::dockIntoLastSite(QDockWidget* dock) {
  watch(dock);
  main_->addDockWidget(lastSite_, dock);
  if (dock->isFloating()) dock->setFloating(false);
  docked(dock, lastSite_);
}

void TDockLayout::docked(QDockWidget* dock, Qt::DockWidgetArea site) {
  if (site == Qt::NoDockWidgetArea) return;
  Place& place = places_[dock];
  if (place.site == site) return;  // already there: a second notice of the same docking
  place.site = site;
  lastSite_ = site;
  int size = dockSize(site);
  // Until the person has sized the site, it is at least as wide (or high)
  // as the window wants: the Trace window shows its columns whole.
  if (!chosen_.contains(site) && dock->widget()) {
    const QSize wanted = dock->widget()->sizeHint();
    size = std::max(size, sideways(site) ? wanted.width() : wanted.height());
  }
  if (size > 0) main_->resizeDocks({dock}, {size}, sideways(site) ? Qt::Horizontal : Qt::Vertical);
  if (onChange_) onChange_();
}

void TDockLayout::undocked(QDockWidget* dock) {
  Place& place = places_[dock];
  if (place.site == Qt::NoDockWidgetArea) return;
  bool alone = true;
  for (QDockWidget* other : main_->findChildren<QDockWidget*>())
    if (other != dock && !other->isFloating() && other->isVisible() && main_->dockWidgetArea(other) == place.site)
      alone = false;
  if (alone && place.size.isValid()) {
    sizes_[place.site] = sideways(place.site) ? place.size.width() : place.size.height();
    chosen_.insert(place.site);
  }
  place.site = Qt::NoDockWidgetArea;
  if (onChange_) onChange_();
}

bool TDockLayout::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    auto* dock = static_cast<QDockWidget*>(watched);
    auto it = places_.find(dock);
    // The size of a docked window is its site's size; a floating one's is not.
    if (it != places_.end() && !dock->isFloating() && it->site != Qt::NoDockWidgetArea &&
        main_->dockWidgetArea(dock) == it->site)
      it->size = dock->size();
  }
  return QObject::eventFilter(watched, event);
}
