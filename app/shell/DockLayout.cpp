#include "DockLayout.h"

#include <QDockWidget>
#include <QEvent>
#include <QMainWindow>

namespace {

bool sideways(Qt::DockWidgetArea site)
{
    return site == Qt::LeftDockWidgetArea || site == Qt::RightDockWidgetArea;
}

} // namespace

TDockLayout::TDockLayout(QMainWindow* mainWindow)
    : QObject(mainWindow)
    , m_main(mainWindow)
{
    setObjectName(QStringLiteral("DockLayout"));
}

void TDockLayout::setSizesFromClient(const QSize& client)
{
    m_sizes[Qt::LeftDockWidgetArea] = client.width() / 3;
    m_sizes[Qt::RightDockWidgetArea] = client.width() / 3;
    m_sizes[Qt::TopDockWidgetArea] = client.height() / 3;
    m_sizes[Qt::BottomDockWidgetArea] = client.height() / 3;
    m_lastSite = Qt::RightDockWidgetArea;
}

int TDockLayout::dockSize(Qt::DockWidgetArea site) const
{
    return m_sizes.value(site, 0);
}

void TDockLayout::watch(QDockWidget* dock)
{
    if (m_places.contains(dock))
        return;
    m_places.insert(dock, Place{});
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
            docked(dock, m_main->dockWidgetArea(dock));
    });
    connect(dock, &QObject::destroyed, this, [this, dock] { m_places.remove(dock); });
    if (!dock->isFloating() && m_main->dockWidgetArea(dock) != Qt::NoDockWidgetArea)
        m_places[dock] = Place{m_main->dockWidgetArea(dock), dock->size()};
}

void TDockLayout::dockIntoLastSite(QDockWidget* dock)
{
    watch(dock);
    m_main->addDockWidget(m_lastSite, dock);
    if (dock->isFloating())
        dock->setFloating(false);
    docked(dock, m_lastSite);
}

void TDockLayout::docked(QDockWidget* dock, Qt::DockWidgetArea site)
{
    if (site == Qt::NoDockWidgetArea)
        return;
    Place& place = m_places[dock];
    if (place.site == site)
        return; // already there: a second notice of the same docking
    place.site = site;
    m_lastSite = site;
    const int size = dockSize(site);
    if (size > 0)
        m_main->resizeDocks({dock}, {size}, sideways(site) ? Qt::Horizontal : Qt::Vertical);
    if (m_onChange)
        m_onChange();
}

void TDockLayout::undocked(QDockWidget* dock)
{
    Place& place = m_places[dock];
    if (place.site == Qt::NoDockWidgetArea)
        return;
    bool alone = true;
    for (QDockWidget* other : m_main->findChildren<QDockWidget*>())
        if (other != dock && !other->isFloating() && other->isVisible()
            && m_main->dockWidgetArea(other) == place.site)
            alone = false;
    if (alone && place.size.isValid())
        m_sizes[place.site] = sideways(place.site) ? place.size.width() : place.size.height();
    place.site = Qt::NoDockWidgetArea;
    if (m_onChange)
        m_onChange();
}

bool TDockLayout::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        auto* dock = static_cast<QDockWidget*>(watched);
        auto it = m_places.find(dock);
        // The size of a docked window is its site's size; a floating one's is not.
        if (it != m_places.end() && !dock->isFloating() && it->site != Qt::NoDockWidgetArea
            && m_main->dockWidgetArea(dock) == it->site)
            it->size = dock->size();
    }
    return QObject::eventFilter(watched, event);
}
