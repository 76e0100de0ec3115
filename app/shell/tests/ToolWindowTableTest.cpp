// The program's table of tool windows: the Windows menu's order, shortcuts
// and creation order of the design's windows, lines that differ from each
// other, and every window built by its factory carries its component name,
// has its help page compiled in and handles the File menu entries its line
// brings. Every check runs over the table's lines: a new window needs no
// change here.
#include <gtest/gtest.h>

#include <QDockWidget>
#include <QSet>

#include <memory>

#include "FakeToolWindowHost.h"
#include "HelpTopics.h"
#include "ToolWindow.h"
#include "ToolWindows.h"

namespace {

QStringList Names(const std::vector<const TToolWindowEntry*>& entries) {
  QStringList names;
  for (const TToolWindowEntry* entry : entries) names << entry->componentName;
  return names;
}

// The design's windows in the order of the Windows menu; the table may have others.
const QStringList kDesignWindows{"RegFrm", "TraceFrm", "BitSetFrm", "FiltersFrm", "TransmitFrm"};

std::vector<const TToolWindowEntry*> DesignLines(const std::vector<const TToolWindowEntry*>& entries) {
  std::vector<const TToolWindowEntry*> lines;
  for (const TToolWindowEntry* entry : entries)
    if (kDesignWindows.contains(entry->componentName)) lines.push_back(entry);
  return lines;
}

TEST(ToolWindowTable, ListsTheWindowsInMenuOrderAndCreatesThemInTheirOwn) {
  std::vector<const TToolWindowEntry*> table;
  for (const TToolWindowEntry& entry : ToolWindows::Table()) table.push_back(&entry);
  QStringList shortcuts;
  for (const TToolWindowEntry* entry : DesignLines(table)) shortcuts << entry->shortcut.toString();
  EXPECT_EQ(Names(DesignLines(table)), kDesignWindows);
  EXPECT_EQ(shortcuts, (QStringList{"Ctrl+F1", "Ctrl+F2", "Ctrl+F3", "Ctrl+F4", "Ctrl+F5"}));
  EXPECT_EQ(Names(DesignLines(ToolWindows::InCreationOrder(ToolWindows::Table()))),
            (QStringList{"RegFrm", "TraceFrm", "BitSetFrm", "TransmitFrm", "FiltersFrm"}));
  EXPECT_EQ(ToolWindows::Find("AboutFrm"), nullptr);

  // The Trace window's File menu entries: a dialog that opens an existing
  // file, and two that save with their default extensions.
  ASSERT_NE(ToolWindows::Find("TraceFrm"), nullptr);
  const TToolWindowEntry& trace = *ToolWindows::Find("TraceFrm");
  ASSERT_EQ(trace.fileEntries.size(), 3u);
  EXPECT_EQ(trace.fileEntries[0].objectName, "TraceLoad");
  EXPECT_EQ(trace.fileEntries[0].dialog.mode, TFileDialogSpec::Mode::Open);
  EXPECT_EQ(trace.fileEntries[1].objectName, "TraceSave");
  EXPECT_EQ(trace.fileEntries[1].dialog.mode, TFileDialogSpec::Mode::Save);
  EXPECT_EQ(trace.fileEntries[1].dialog.defaultSuffix, "trc");
  EXPECT_EQ(trace.fileEntries[2].objectName, "TraceExport");
  EXPECT_EQ(trace.fileEntries[2].caption, "Export Trace as &candump log...");
  EXPECT_EQ(trace.fileEntries[2].dialog.mode, TFileDialogSpec::Mode::Save);
  EXPECT_EQ(trace.fileEntries[2].dialog.defaultSuffix, "log");
}

// Each line is found by its component name and differs from every other in
// its name, its menu entry, its key (if any) and its creation rank.
TEST(ToolWindowTable, EveryLineIsFoundByItsNameAndDiffersFromTheOthers) {
  QSet<QString> names, entries, keys;
  QSet<int> ranks;
  for (const TToolWindowEntry& entry : ToolWindows::Table()) {
    SCOPED_TRACE(entry.componentName.toStdString());
    EXPECT_EQ(ToolWindows::Find(entry.componentName), &entry);
    EXPECT_FALSE(names.contains(entry.componentName));
    EXPECT_FALSE(entries.contains(entry.menuObjectName));
    EXPECT_FALSE(keys.contains(entry.shortcut.toString()));
    EXPECT_FALSE(ranks.contains(entry.creationRank));
    names << entry.componentName;
    entries << entry.menuObjectName;
    if (!entry.shortcut.isEmpty()) keys << entry.shortcut.toString();
    ranks << entry.creationRank;
  }
}

TEST(ToolWindowTable, EveryWindowBuiltIsItsComponentWithItsHelpPageAndFileEntries) {
  FakeToolWindowHost host;
  int built = 0;
  for (const TToolWindowEntry& entry : ToolWindows::Table()) {
    SCOPED_TRACE(entry.componentName.toStdString());
    EXPECT_TRUE(HelpTopics::pageExists(entry.helpPage)) << entry.helpPage.toStdString();
    EXPECT_EQ(HelpTopics::pageForWindow(entry.componentName), entry.helpPage);
    if (!entry.factory) continue;
    ++built;
    const std::unique_ptr<TToolWindow> window(entry.factory(host));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->form()->objectName(), entry.componentName);
    EXPECT_EQ(&window->Host(), &host);
    for (const TFileMenuEntry& file : entry.fileEntries)
      EXPECT_TRUE(window->HandlesFileEntry(file.objectName)) << file.objectName.toStdString();
  }
  EXPECT_GE(built, 2);  // Registers and Trace at least
  EXPECT_TRUE(host.errors.isEmpty());
}

}  // namespace
