// The program's table of tool windows: the Windows menu's order, shortcuts
// and creation order, and every window built by its factory carries its
// component name, has its help page compiled in and handles the File menu
// entries its line brings.
#include <gtest/gtest.h>

#include <QDockWidget>

#include <memory>

#include "FakeToolWindowHost.h"
#include "HelpTopics.h"
#include "ToolWindow.h"
#include "ToolWindows.h"

namespace {

QStringList Names(const std::vector<const ToolWindowEntry*>& entries) {
  QStringList names;
  for (const ToolWindowEntry* entry : entries) names << entry->componentName;
  return names;
}

TEST(ToolWindowTable, ListsTheWindowsInMenuOrderAndCreatesThemInTheirOwn) {
  QStringList menu, shortcuts;
  for (const ToolWindowEntry& entry : ToolWindows::Table()) {
    menu << entry.componentName;
    shortcuts << entry.shortcut.toString();
  }
  EXPECT_EQ(menu, (QStringList{"RegFrm", "TraceFrm", "BitSetFrm", "FiltersFrm", "TransmitFrm"}));
  EXPECT_EQ(shortcuts, (QStringList{"Ctrl+F1", "Ctrl+F2", "Ctrl+F3", "Ctrl+F4", "Ctrl+F5"}));
  EXPECT_EQ(Names(ToolWindows::InCreationOrder(ToolWindows::Table())),
            (QStringList{"RegFrm", "TraceFrm", "BitSetFrm", "TransmitFrm", "FiltersFrm"}));
  EXPECT_EQ(ToolWindows::Find("TraceFrm"), &ToolWindows::Table()[1]);
  EXPECT_EQ(ToolWindows::Find("AboutFrm"), nullptr);

  // The Trace window's File menu entries: a dialog that opens an existing
  // file, and two that save with their default extensions.
  const ToolWindowEntry& trace = ToolWindows::Table()[1];
  ASSERT_EQ(trace.fileEntries.size(), 3u);
  EXPECT_EQ(trace.fileEntries[0].objectName, "TraceLoad");
  EXPECT_EQ(trace.fileEntries[0].dialog.mode, FileDialogSpec::Mode::Open);
  EXPECT_EQ(trace.fileEntries[1].objectName, "TraceSave");
  EXPECT_EQ(trace.fileEntries[1].dialog.mode, FileDialogSpec::Mode::Save);
  EXPECT_EQ(trace.fileEntries[1].dialog.defaultSuffix, "trc");
  EXPECT_EQ(trace.fileEntries[2].objectName, "TraceExport");
  EXPECT_EQ(trace.fileEntries[2].caption, "Export Trace as &candump log...");
  EXPECT_EQ(trace.fileEntries[2].dialog.mode, FileDialogSpec::Mode::Save);
  EXPECT_EQ(trace.fileEntries[2].dialog.defaultSuffix, "log");
}

TEST(ToolWindowTable, EveryWindowBuiltIsItsComponentWithItsHelpPageAndFileEntries) {
  FakeToolWindowHost host;
  int built = 0;
  for (const ToolWindowEntry& entry : ToolWindows::Table()) {
    SCOPED_TRACE(entry.componentName.toStdString());
    EXPECT_TRUE(HelpTopics::pageExists(entry.helpPage)) << entry.helpPage.toStdString();
    EXPECT_EQ(HelpTopics::pageForWindow(entry.componentName), entry.helpPage);
    if (!entry.factory) continue;
    ++built;
    const std::unique_ptr<TToolWindow> window(entry.factory(host));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->form()->objectName(), entry.componentName);
    EXPECT_EQ(&window->Host(), &host);
    for (const FileMenuEntry& file : entry.fileEntries)
      EXPECT_TRUE(window->HandlesFileEntry(file.objectName)) << file.objectName.toStdString();
  }
  EXPECT_GE(built, 2);  // Registers and Trace at least
  EXPECT_TRUE(host.errors.isEmpty());
}

}  // namespace
