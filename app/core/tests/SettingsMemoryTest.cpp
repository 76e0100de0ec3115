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
  const QString path = TSettingsStore::filePath();
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

  TSettingsStore::keepChangesInMemory(true);
  {
    TSettingsStore trace("Trace");
    EXPECT_EQ(trace.readBool("Enabled"), false);
    trace.writeBool("Enabled", true);
    EXPECT_TRUE(trace.sync());
    TSettingsStore positions("FormPositions/TraceFrm");
    positions.writeInt("Left", 12);
    positions.writeString("DockSite", "PanelRight");
    TSettingsStore comm("Communication");
    comm.remove("Port");
    comm.writeString("Settings", "19200,n,8,1");
    EXPECT_TRUE(comm.sync());
  }
  // Every later object sees the run's changes, and the rest of the file.
  EXPECT_EQ(TSettingsStore("Trace").readBool("Enabled"), true);
  EXPECT_EQ(TSettingsStore("FormPositions/TraceFrm").readInt("Left"), 12);
  EXPECT_EQ(TSettingsStore("FormPositions/TraceFrm").readString("DockSite"), "PanelRight");
  EXPECT_FALSE(TSettingsStore("Communication").contains("Port"));
  EXPECT_EQ(TSettingsStore("Communication").readString("Port"), std::nullopt);
  EXPECT_EQ(TSettingsStore("Communication").readString("Settings"), "19200,n,8,1");
  EXPECT_EQ(TSettingsStore("Communication").readString("TimeOut"), "1000");
  EXPECT_EQ(FileContents(path), original);

  // The end of such a run forgets its changes: the file's values are back.
  TSettingsStore::keepChangesInMemory(false);
  EXPECT_EQ(TSettingsStore("Trace").readBool("Enabled"), false);
  EXPECT_EQ(TSettingsStore("Communication").readString("Port"), "3");
  EXPECT_EQ(FileContents(path), original);
}

}  // namespace
