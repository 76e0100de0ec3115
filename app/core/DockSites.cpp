#include "DockSites.h"

#include <array>
#include <utility>

namespace {

const std::array<std::pair<const char*, Qt::DockWidgetArea>, 4> kSites = {{
    {"PanelLeft", Qt::LeftDockWidgetArea},
    {"PanelRight", Qt::RightDockWidgetArea},
    {"PanelTop", Qt::TopDockWidgetArea},
    {"PanelBottom", Qt::BottomDockWidgetArea},
}};

}  // namespace

std::optional<Qt::DockWidgetArea> DockSites::areaForName(const QString& siteName) {
  for (const auto& [name, area] : kSites)
    if (siteName == QLatin1String(name)) return area;
  return std::nullopt;
}

QString DockSites::nameForArea(Qt::DockWidgetArea area) {
  for (const auto& [name, siteArea] : kSites)
    if (area == siteArea) return QString::fromLatin1(name);
  return {};
}
