#include "HelpTopics.h"
#include "HelpViewer.h"
#include "ToolWindows.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

TEST(HelpTopicsTest, EveryWindowHasItsPage) {
  EXPECT_EQ(HelpTopics::commandForWindow("MainFrm"), "vorelan.chm::/Main_window.html");
  EXPECT_EQ(HelpTopics::commandForWindow("TraceFrm"), "vorelan.chm::/Trace_window.html");
  EXPECT_EQ(HelpTopics::commandForWindow("RegFrm"), "vorelan.chm::/Reg_window.html");
  EXPECT_EQ(HelpTopics::commandForWindow("TransmitFrm"), "vorelan.chm::/Trans_window.html");
  EXPECT_EQ(HelpTopics::commandForWindow("FiltersFrm"), "vorelan.chm::/FiltSet_window.html");
  EXPECT_EQ(HelpTopics::commandForWindow("BitSetFrm"), "vorelan.chm::/BitSet_window.html");
  EXPECT_EQ(HelpTopics::commandForWindow("AboutFrm"), "vorelan.chm");
  EXPECT_EQ(HelpTopics::commandForWindow(""), "vorelan.chm");
}

TEST(HelpTopicsTest, CommandsNameTheirPage) {
  EXPECT_EQ(HelpTopics::pageForCommand("vorelan.chm"), "index.html");
  EXPECT_EQ(HelpTopics::pageForCommand("hh vorelan.chm"), "index.html");
  EXPECT_EQ(HelpTopics::pageForCommand("vorelan.chm::/"), "index.html");
  EXPECT_EQ(HelpTopics::pageForCommand("vorelan.chm::/Trace_window.html"), "Trace_window.html");
  EXPECT_EQ(HelpTopics::pageForCommand("hh Vorelan.chm::/reg_WINDOW.html"), "Reg_window.html");
  EXPECT_EQ(HelpTopics::pageForCommand("vorelan.chm::/No_such_window.html"), "");
  EXPECT_EQ(HelpTopics::pageForCommand("vorelan.chm::/../../etc/passwd"), "");
}

// Every page is compiled in, has a title and real content, and its links lead
// to pages that exist.
TEST(HelpPagesTest, EveryPageIsThereWithContentAndWorkingLinks) {
  THelpViewer viewer;  // makes sure the resources are registered
  const QStringList pages = HelpTopics::allPages();
  ASSERT_EQ(pages.size(), 2 + qsizetype(ToolWindows::Table().size()));  // the index, the main window's, the tools'
  const QRegularExpression link(R"(href="([^"#]*)(#[^"]*)?")");
  for (const QString& page : pages) {
    QFile file(":/help/" + page);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << page.toStdString();
    const QString html = QString::fromUtf8(file.readAll());
    QTextDocument document;
    document.setHtml(html);
    EXPECT_FALSE(document.metaInformation(QTextDocument::DocumentTitle).isEmpty()) << page.toStdString();
    EXPECT_GT(document.toPlainText().size(), 800) << page.toStdString();
    for (auto it = link.globalMatch(html); it.hasNext();) {
      const QString target = it.next().captured(1);
      if (target.isEmpty() || target.startsWith("http")) continue;
      EXPECT_TRUE(QFile::exists(":/help/" + target)) << page.toStdString() << " -> " << target.toStdString();
    }
  }
}

// The contents as the viewer shows them: a row per line of the tool window
// table, its page linked by its title beside what it covers, and its key.
TEST(HelpPagesTest, TheContentsListEveryToolWindowOfTheTable) {
  THelpViewer viewer;
  const QString html = HelpTopics::pageHtml(HelpTopics::indexPage());
  const QString shown = viewer.findChild<QTextBrowser*>("HelpBrowser")->toPlainText();
  for (const TToolWindowEntry& tool : ToolWindows::Table()) {
    SCOPED_TRACE(tool.componentName.toStdString());
    const QRegularExpression row(R"(<tr><td><a href=")" + QRegularExpression::escape(tool.helpPage) +
                                 R"(">[^<]+</a></td><td>[^<]+</td></tr>)");
    EXPECT_TRUE(row.match(html).hasMatch());
    EXPECT_TRUE(html.contains("<tr><td>" + tool.shortcut.toString() + "</td>"));
    EXPECT_TRUE(shown.contains(tool.shortcut.toString()));
  }
}

TEST(HelpViewerTest, ShowPageOpensTheNamedPageInOneSharedViewer) {
  EXPECT_EQ(THelpViewer::shared(), nullptr);
  EXPECT_TRUE(THelpViewer::showPage("vorelan.chm::/Trace_window.html"));
  THelpViewer* viewer = THelpViewer::shared();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(viewer->currentPage(), "Trace_window.html");
  EXPECT_EQ(viewer->currentTitle(), "Trace window");
  EXPECT_EQ(viewer->windowTitle(), "Vorelan Help - Trace window");
  EXPECT_FALSE(viewer->testAttribute(Qt::WA_QuitOnClose));  // never keeps the program running

  EXPECT_TRUE(THelpViewer::showPage("vorelan.chm"));
  EXPECT_EQ(THelpViewer::shared(), viewer);
  EXPECT_EQ(viewer->currentPage(), "index.html");

  EXPECT_FALSE(THelpViewer::showPage("vorelan.chm::/Missing.html"));
  EXPECT_EQ(viewer->currentPage(), "index.html");

  viewer->close();  // deletes itself
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(THelpViewer::shared(), nullptr);
}

}  // namespace
