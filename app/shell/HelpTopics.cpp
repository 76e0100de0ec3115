#include "HelpTopics.h"

#include <array>
#include <utility>

namespace {

const std::array<std::pair<const char*, const char*>, 6> kWindowPages = {{
    {"MainFrm", "Main_window.html"},
    {"TraceFrm", "Trace_window.html"},
    {"RegFrm", "Reg_window.html"},
    {"TransmitFrm", "Trans_window.html"},
    {"FiltersFrm", "FiltSet_window.html"},
    {"BitSetFrm", "BitSet_window.html"},
}};

}  // namespace

QString HelpTopics::helpFileName() {
  return QStringLiteral("vorelan.chm");
}

QString HelpTopics::indexPage() {
  return QStringLiteral("index.html");
}

QString HelpTopics::pageForWindow(const QString& componentName) {
  for (const auto& [window, page] : kWindowPages)
    if (componentName == QLatin1String(window)) return QString::fromLatin1(page);
  return {};
}

QString HelpTopics::commandForWindow(const QString& componentName) {
  const QString page = pageForWindow(componentName);
  return page.isEmpty() ? helpFileName() : helpFileName() + QStringLiteral("::/") + page;
}

QString HelpTopics::pageForCommand(const QString& command) {
  QString text = command.trimmed();
  if (text.startsWith(QLatin1String("hh "), Qt::CaseInsensitive)) text = text.mid(3).trimmed();
  const qsizetype separator = text.indexOf(QLatin1String("::"));
  if (separator < 0) return indexPage();
  QString page = text.mid(separator + 2);
  while (page.startsWith(u'/')) page.remove(0, 1);
  if (page.isEmpty()) return indexPage();
  for (const QString& known : allPages())
    if (page.compare(known, Qt::CaseInsensitive) == 0) return known;
  return {};
}

QStringList HelpTopics::allPages() {
  QStringList pages{indexPage()};
  for (const auto& windowPage : kWindowPages) pages << QString::fromLatin1(windowPage.second);
  return pages;
}
