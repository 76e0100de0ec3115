// A run that keeps its settings changes in memory (vorelan --simulate): it
// reads the user's file and its own changes, and leaves the file byte for byte.
#include "FileContents.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

TEST(SettingsInMemory, ARunReadsTheFileAndItsOwnChangesAndLeavesTheFileAsItWas) {
  const QString path = SettingsStore::filePath();
  ASSERT_TRUE(path.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + '/'));
  QDir().mkpath(QFileInfo(path).path());
  // Written by hand, as QSettings would never write it: a change that reached
  // the file would rewrite it in QSettings' own form.
  const QByteArray original =
      "[Trace]\nEnabled = dword:00000000\n\n[Communication]\nTimeOut=1000\nPort=3\nSettings=\"9600,n,8,1\"\n";
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(original);
  }

  SettingsStore::keepChangesInMemory(true);
  {
    SettingsStore trace("Trace");
    EXPECT_EQ(trace.readBool("Enabled"), false);
    trace.writeBool("Enabled", true);
    EXPECT_TRUE(trace.sync());
    SettingsStore positions("FormPositions/TraceFrm");
    positions.writeInt("Left", 12);
    positions.writeString("DockSite", "PanelRight");
    SettingsStore comm("Communication");
    comm.remove("Port");
    comm.writeString("Settings", "19200,n,8,1");
    EXPECT_TRUE(comm.sync());
  }
  // Every later object sees the run's changes, and the rest of the file.
  EXPECT_EQ(SettingsStore("Trace").readBool("Enabled"), true);
  EXPECT_EQ(SettingsStore("FormPositions/TraceFrm").readInt("Left"), 12);
  EXPECT_EQ(SettingsStore("FormPositions/TraceFrm").readString("DockSite"), "PanelRight");
  EXPECT_FALSE(SettingsStore("Communication").contains("Port"));
  EXPECT_EQ(SettingsStore("Communication").readString("Port"), std::nullopt);
  EXPECT_EQ(SettingsStore("Communication").readString("Settings"), "19200,n,8,1");
  EXPECT_EQ(SettingsStore("Communication").readString("TimeOut"), "1000");
  EXPECT_EQ(FileContents(path), original);

  // The end of such a run forgets its changes: the file's values are back.
  SettingsStore::keepChangesInMemory(false);
  EXPECT_EQ(SettingsStore("Trace").readBool("Enabled"), false);
  EXPECT_EQ(SettingsStore("Communication").readString("Port"), "3");
  EXPECT_EQ(FileContents(path), original);
}

}  // namespace
