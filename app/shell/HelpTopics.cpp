#include "HelpTopics.h"

#include <QFile>

#include "HelpIndex.h"
#include "ToolWindows.h"

// Outside any namespace, as Qt requires.
static void initHelpResources() {
  Q_INIT_RESOURCE(vorelan_help);
}

namespace {

const QString kMainWindow = QStringLiteral("MainFrm");
const QString kMainWindowPage = QStringLiteral("Main_window.html");

}  // namespace

QString HelpTopics::helpFileName() {
  return QStringLiteral("vorelan.chm");
}

QString HelpTopics::indexPage() {
  return QStringLiteral("index.html");
}

QString HelpTopics::pageForWindow(const QString& componentName) {
  if (componentName == kMainWindow) return kMainWindowPage;
  const TToolWindowEntry* tool = ToolWindows::Find(componentName);
  return tool ? tool->helpPage : QString();
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
  QStringList pages{indexPage(), kMainWindowPage};
  for (const TToolWindowEntry& tool : ToolWindows::Table()) pages << tool.helpPage;
  return pages;
}

void HelpTopics::loadPages() {
  static const bool loaded = (initHelpResources(), true);
  (void)loaded;
}

bool HelpTopics::pageExists(const QString& page) {
  loadPages();
  return !page.isEmpty() && QFile::exists(QStringLiteral(":/help/") + page);
}

QString HelpTopics::pageHtml(const QString& page) {
  if (!pageExists(page)) return {};
  QFile file(QStringLiteral(":/help/") + page);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QString html = QString::fromUtf8(file.readAll());
  return page == indexPage() ? HelpIndex::fillIn(html, ToolWindows::Table()) : html;
}
