#include "SettingsRoot.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include "FileSizeLimit.h"

#include <limits>

namespace {

// Every test starts from empty settings in this test process's private
// XDG_CONFIG_HOME (testing/PrivateHome.h).
class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"));
    ASSERT_TRUE(TSettingsStore::filePath().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + '/'))
        << "tests must never touch the user's settings";
    raw().clear();
    raw().sync();
  }

  static QSettings& raw() {
    static QSettings settings(QSettings::NativeFormat, QSettings::UserScope, TSettingsRoot::organisation(),
                              TSettingsRoot::programKey());
    return settings;
  }

  static void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }
};

TEST(SettingsRootTest, ProgramKeyIsTheExecutableNameWithTheRestLowerCase) {
  EXPECT_EQ(TSettingsRoot::programKeyFor("/usr/bin/Vorelan"), "Vorelan");
  EXPECT_EQ(TSettingsRoot::programKeyFor("/usr/bin/VORELAN"), "Vorelan");
  EXPECT_EQ(TSettingsRoot::programKeyFor("/usr/bin/vorelan"), "vorelan");
  EXPECT_EQ(TSettingsRoot::programKeyFor("vORELAN"), "vorelan");
  EXPECT_EQ(TSettingsRoot::programKeyFor("C/Tools/VORELAN.EXE"), "Vorelan");
  EXPECT_EQ(TSettingsRoot::programKeyFor("./my.Tool.bin"), "my.tool");
  EXPECT_EQ(TSettingsRoot::programKeyFor("/opt/.vorelan"), "Vorelan");  // no base name: never an empty key
}

TEST(SettingsRootTest, TheFirstKeyFixedStaysForTheWholeRun) {
  TSettingsRoot::establish("/opt/vorelan/bin/VORELANTEST");
  TSettingsRoot::establish("/opt/vorelan/bin/Other");
  EXPECT_EQ(TSettingsRoot::programKey(), "Vorelantest");
  EXPECT_EQ(QFileInfo(TSettingsStore::filePath()).fileName(), "Vorelantest.conf");
  EXPECT_EQ(QFileInfo(TSettingsStore::filePath()).dir().dirName(), "Orvex");
}

TEST_F(SettingsStoreTest, ValuesKeepTheirTypes) {
  {
    TSettingsStore key("FormPositions/TraceFrm");
    key.writeInt("Left", 120);
    key.writeInt("Top", -4);
    key.writeString("DockSiteName", "PanelRight");
    key.writeString("Port", "1");  // a string that looks like a number stays a string (and reads as one)
    key.writeBool("Docked", true);
    ASSERT_TRUE(key.sync());
  }
  const TSettingsStore key("FormPositions/TraceFrm");
  EXPECT_EQ(key.readInt("Left"), 120);
  EXPECT_EQ(key.readInt("Top"), -4);
  EXPECT_EQ(key.readString("DockSiteName"), "PanelRight");
  EXPECT_EQ(key.readString("Port"), "1");
  EXPECT_EQ(key.readBool("Docked"), true);

  // A typed read of the other type fails, like a missing value; a decimal
  // text is also the integer a person writing it by hand means.
  EXPECT_EQ(key.readString("Left"), std::nullopt);
  EXPECT_EQ(key.readInt("Port"), 1);
  EXPECT_EQ(key.readInt("DockSiteName"), std::nullopt);
  EXPECT_EQ(key.readBool("DockSiteName"), std::nullopt);
  EXPECT_EQ(key.readInt("Width"), std::nullopt);
  EXPECT_EQ(key.readString("Width"), std::nullopt);
  EXPECT_TRUE(key.contains("Left"));
  EXPECT_FALSE(key.contains("Width"));
}

TEST_F(SettingsStoreTest, KeysAreSeparateAndLiveInTheSettingsFile) {
  TSettingsStore communication("Communication");
  communication.writeString("Port", "2");
  TSettingsStore trace("Trace");
  trace.writeInt("Enabled", 1);
  ASSERT_TRUE(communication.sync());
  ASSERT_TRUE(trace.sync());

  raw().sync();
  EXPECT_EQ(raw().value("Communication/Port").toString(), "2");
  EXPECT_EQ(raw().value("Trace/Enabled").toString(), "dword:00000001");
  EXPECT_FALSE(TSettingsStore("Trace").contains("Port"));
}

TEST_F(SettingsStoreTest, StringsWithCommasOrTagsStayOneString) {
  {
    TSettingsStore key("Communication");
    key.writeString("Settings", "9600,n,8,1");
    key.writeString("A", "dword:00000005");
    key.writeString("B", "sz:x");
    key.writeString("C", "@Variant(junk)");
    key.writeString("D", "");
    key.writeInt("E", std::numeric_limits<qint32>::min());
    ASSERT_TRUE(key.sync());
  }
  raw().sync();
  EXPECT_EQ(raw().value("Communication/Settings").typeId(), QMetaType::QString);

  const TSettingsStore key("Communication");
  EXPECT_EQ(key.readString("Settings"), "9600,n,8,1");
  EXPECT_EQ(key.readString("A"), "dword:00000005");
  EXPECT_EQ(key.readInt("A"), std::nullopt);
  EXPECT_EQ(key.readString("B"), "sz:x");
  EXPECT_EQ(key.readString("C"), "@Variant(junk)");
  EXPECT_EQ(key.readString("D"), "");
  EXPECT_EQ(key.readInt("E"), std::numeric_limits<qint32>::min());
}

// A settings file written by hand: every form of value opens, what can be
// read is used, and nothing else.
TEST_F(SettingsStoreTest, HandEditedValuesAreReadByTheirStoredType) {
  writeFile(TSettingsStore::filePath(),
            "[Communication]\n"
            "Settings=9600,n,8,1\n"  // unquoted commas: still the one string
            "Port=1\n"
            "[Hand]\n"
            "Short=dword:64\n"  // fewer digits are fine
            "Plain=100\n"       // a plain decimal is an integer too, and still the text
            "Negative=-4\n"
            "Signed=+7\n"
            "TooLarge=2147483648\n"
            "Exponent=1e3\n"
            "Hexadecimal=0x10\n"
            "Empty=\n"
            "LongDword=dword:123456789\n"
            "BadDword=dword:xyz\n"
            "Bytes=@ByteArray(1)\n");
  raw().sync();

  const TSettingsStore communication("Communication");
  EXPECT_EQ(communication.readString("Settings"), "9600,n,8,1");
  EXPECT_EQ(communication.readString("Port"), "1");

  const TSettingsStore hand("Hand");
  const std::pair<const char*, std::optional<qint32>> ints[] = {
      {"Short", 100},      {"Plain", 100}, {"Negative", -4},  {"Signed", 7},    {"TooLarge", {}}, {"Exponent", {}},
      {"Hexadecimal", {}}, {"Empty", {}},  {"LongDword", {}}, {"BadDword", {}}, {"Bytes", {}},    {"Missing", {}}};
  for (const auto& [name, value] : ints) EXPECT_EQ(hand.readInt(name), value) << name;
  EXPECT_EQ(hand.readString("Plain"), "100");
  EXPECT_EQ(hand.readString("Short"), std::nullopt);
  EXPECT_EQ(hand.readString("Bytes"), std::nullopt);
}

TEST_F(SettingsStoreTest, OnlyTheUsersOwnFileCounts) {
  // An organisation-wide file beside ours must not fill in missing values.
  const QString orgWide = QFileInfo(TSettingsStore::filePath()).dir().path() + ".conf";
  writeFile(orgWide, "[Communication]\nPort=3\n");
  EXPECT_EQ(TSettingsStore("Communication").readString("Port"), std::nullopt);
  QFile::remove(orgWide);
}

TEST_F(SettingsStoreTest, RemoveDropsOneValue) {
  TSettingsStore key("CPU");
  key.writeString("Clock", "8");
  key.writeString("Other", "x");
  key.remove("Clock");
  EXPECT_FALSE(key.contains("Clock"));
  EXPECT_EQ(key.readString("Other"), "x");
}

TEST_F(SettingsStoreTest, AFileThatCannotBeWrittenFailsAtSync) {
  const QString path = TSettingsStore::filePath();
  QFile::remove(path);
  ASSERT_TRUE(QDir().mkpath(path));  // a folder where the file should be
  TSettingsStore key("Trace");
  key.writeInt("Enabled", 1);
  EXPECT_FALSE(key.sync());
  QDir(path).removeRecursively();
}

// QSettings' buffered write reported success on a full disk and left the
// file cut short: the sync says so, and the previous file is back.
TEST_F(SettingsStoreTest, AFullDiskFailsTheSyncAndKeepsThePreviousFile) {
  TSettingsStore positions("FormPositions/TraceFrm");
  for (int i = 0; i < 100; ++i) positions.writeInt(QStringLiteral("Value%1").arg(i), i);
  ASSERT_TRUE(positions.sync());
  QFile file(TSettingsStore::filePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray previous = file.readAll();
  file.close();

  TSettingsStore comm("Communication");
  comm.writeString("Settings", QString(2000, u'x'));
  {
    const FileSizeLimit fullDisk(1024);
    EXPECT_FALSE(comm.sync());
  }
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), previous);
  EXPECT_EQ(QDir(QFileInfo(file).path()).entryList(QDir::Files), QStringList{QFileInfo(file).fileName()});
}

}  // namespace
