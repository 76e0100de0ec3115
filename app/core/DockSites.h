#pragma once

#include <QString>
#include <Qt>

#include <optional>

// The main window's four edge dock sites by component name: "PanelLeft",
// "PanelRight", "PanelTop" and "PanelBottom" are the dock areas of the
// QMainWindow. Names match exactly, letter case included.
namespace DockSites {

std::optional<Qt::DockWidgetArea> areaForName(const QString& siteName);
// Empty for Qt::NoDockWidgetArea (and anything that is not one of the four areas).
QString nameForArea(Qt::DockWidgetArea area);

}  // namespace DockSites
