// The port map: editing its text, saving it, and the serial devices it offers.
#include "AppError.h"
#include "FileContents.h"
#include "FileSizeLimit.h"
#include "PortMapEditor.h"
#include "StoredSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace shelltest;

namespace {

TEST(PortMapEditorTest, RewritesOnlyTheChosenPortsAndKeepsEverythingElse) {
  const QString text =
      "# mine\n"
      "  com1 = /dev/ttyUSB0  \n"
      "COM4=/dev/ttyS9\n"
      "COM1=/dev/old-duplicate\n"
      "garbage line\n";
  EXPECT_EQ(PortMapEditor::entry(text, 1), "/dev/ttyUSB0");
  EXPECT_EQ(PortMapEditor::entry(text, 4), "/dev/ttyS9");
  EXPECT_EQ(PortMapEditor::entry(text, 2), "");

  const QString edited = PortMapEditor::withEntries(text, {{1, "/dev/pts/7"}, {2, "/tmp/link"}, {3, ""}});
  EXPECT_EQ(edited,
            "# mine\n"
            "COM1=/dev/pts/7\n"
            "COM4=/dev/ttyS9\n"
            "garbage line\n"
            "COM2=/tmp/link\n");
  // Emptying a port removes its line: the port falls back to its default device.
  EXPECT_EQ(PortMapEditor::entry(PortMapEditor::withEntries(edited, {{1, " "}}), 1), "");
  EXPECT_TRUE(PortMapEditor::withEntries("", {{3, "/dev/ttyACM0"}}).endsWith("\nCOM3=/dev/ttyACM0\n"));
}

// Saved where the serial node looks, whole or not at all (a full disk keeps
// the previous map), and a line the dialog did not change keeps its bytes
// even when they are no UTF-8 (a comment written in Latin-1).
TEST(PortMapEditorTest, SavesWhereTheSerialNodeLooksKeepingEveryOtherByte) {
  wipeSettings();
  const QString path = PortMapEditor::filePath();
  ASSERT_TRUE(path.endsWith("/vorelan/ports.conf")) << path.toStdString();
  QFile::remove(path);
  EXPECT_EQ(PortMapEditor::load(path), "");
  PortMapEditor::save(path, QString::fromLatin1("# Ger\xE4t\nCOM1=/dev/pts/3\n"));  // a character a byte
  const auto bytes = [&path] { return FileContents(path); };
  const QString text = PortMapEditor::load(path);
  EXPECT_EQ(PortMapEditor::entry(text, 1), "/dev/pts/3");
  PortMapEditor::save(path, PortMapEditor::withEntries(text, {{2, "/dev/ttyACM0"}}));
  EXPECT_EQ(bytes(), "# Ger\xE4t\nCOM1=/dev/pts/3\nCOM2=/dev/ttyACM0\n");
  const QString untouched = QString::fromLatin1("  com1 = /dev/ser\xEF\n");  // as the dialog shows it
  EXPECT_EQ(PortMapEditor::withEntries(untouched, {{1, PortMapEditor::entry(untouched, 1)}, {2, ""}}), untouched);
  {
    const FileSizeLimit fullDisk(16);
    EXPECT_THROW(PortMapEditor::save(path, PortMapEditor::withEntries(text, {{3, "/dev/ttyS2"}})), EAppError);
  }
  EXPECT_EQ(bytes(), "# Ger\xE4t\nCOM1=/dev/pts/3\nCOM2=/dev/ttyACM0\n");

  QTemporaryDir folder;
  const QString blocked = folder.filePath("file");
  QFile(blocked).open(QIODevice::WriteOnly);
  EXPECT_THROW(PortMapEditor::save(blocked + "/ports.conf", "x"), std::exception);
}

TEST(PortMapEditorTest, FindsSerialDevicesByKindInNumberOrder) {
  QTemporaryDir dev;
  QDir root(dev.path());
  root.mkpath("serial/by-id");
  for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "ttyACM0", "tty0", "null"})
    QFile(root.filePath(name)).open(QIODevice::WriteOnly);
  QFile::link(root.filePath("ttyUSB0"), root.filePath("serial/by-id/usb-Maker_Adapter-if00-port0"));
  const QStringList expected{root.filePath("serial/by-id/usb-Maker_Adapter-if00-port0"),
                             root.filePath("ttyUSB0"),
                             root.filePath("ttyACM0"),
                             root.filePath("ttyACM1"),
                             root.filePath("ttyS2"),
                             root.filePath("ttyS10")};
  EXPECT_EQ(PortMapEditor::findSerialDevices(dev.path()), expected);
  EXPECT_TRUE(PortMapEditor::findSerialDevices(dev.filePath("none")).isEmpty());
}

}  // namespace
