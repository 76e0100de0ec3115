#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocator counts what is in use (GCC ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

// Bytes the process has taken from the heap and not given back.
long long HeapInUse() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks + info.hblkhd);
#endif
}

class ProfileFileTest : public ::testing::Test {
 protected:
  QString path(const QString& name = "file.ini") const { return dir_.filePath(name); }

  QString create(const QByteArray& bytes, const QString& name = "file.ini") const {
    QFile file(path(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path(name);
  }

  static QByteArray bytesOf(const QString& file) {
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
  }

  QTemporaryDir dir_;
};

TEST_F(ProfileFileTest, ReadsByTheRules) {
  const TProfileFile file(
      create("Orphan=before any section\r\n"
             "; comment=not a key\r\n"
             "   ;indented comment=still not a key\r\n"
             "[ Main ]\r\n"
             "  Byte0 =  12  \r\n"
             "Byte1=\"  quoted blanks  \"\r\n"
             "Byte2='single'\r\n"
             "Byte3=\"unbalanced'\r\n"
             "Byte4=a;b ; c\r\n"
             "no key on this line\r\n"
             "=no name\r\n"
             "Byte0=second Byte0 ignored\r\n"
             "Empty=\r\n"
             "[main]\r\n"
             "Byte5=duplicate section ignored\r\n"
             "[Other]\r\n"
             "Eq=a=b\r\n"));
  EXPECT_TRUE(file.loadError().isEmpty());
  EXPECT_EQ(file.readString("Main", "Byte0", "d"), "12");
  EXPECT_EQ(file.readString("MAIN", "byte0", "d"), "12");  // names in any letter case
  EXPECT_EQ(file.readString("Main", "Byte1", "d"), "  quoted blanks  ");
  EXPECT_EQ(file.readString("Main", "Byte2", "d"), "single");
  EXPECT_EQ(file.readString("Main", "Byte3", "d"), "\"unbalanced'");
  EXPECT_EQ(file.readString("Main", "Byte4", "d"), "a;b ; c");
  EXPECT_EQ(file.readString("Main", "Empty", "d"), "");
  EXPECT_EQ(file.readString("Main", "Byte5", "d"), "d");
  EXPECT_EQ(file.readString("Main", "Orphan", "d"), "d");
  EXPECT_EQ(file.readString("Main", "; comment", "d"), "d");
  EXPECT_EQ(file.readString("Main", "no key on this line", "d"), "d");
  EXPECT_EQ(file.readString("Other", "Eq", "d"), "a=b");
  EXPECT_EQ(file.readString("Missing", "Eq", "d"), "d");
  EXPECT_TRUE(file.contains("other", "EQ"));
  EXPECT_FALSE(file.contains("Other", "Nope"));
}

TEST_F(ProfileFileTest, EveryLineEndStyleReadsTheSame) {
  for (const QByteArray& eol : {QByteArray("\n"), QByteArray("\r\n"), QByteArray("\r")}) {
    const TProfileFile file(create("[General]" + eol + "NbLines=3" + eol + "[Line1]" + eol + "ID=123"));
    EXPECT_EQ(file.readInt("General", "NbLines", -1), 3) << eol.toHex().constData();
    EXPECT_EQ(file.readString("Line1", "ID", "?"), "123") << eol.toHex().constData();
  }
}

TEST_F(ProfileFileTest, IntegersAreDecimalOrHexadecimal) {
  const TProfileFile file(
      create("[N]\n"
             "a=31\nb=0x1F\nc=0XfF\nd=-5\ne=+7\nf=0xFFFFFFFF\n"
             "g=12abc\nh=99999999999\ni=0x\nj=0x123456789\nk= 42 \nl=\"8\"\nm=\nn=-0x5\n"));
  EXPECT_EQ(file.readInt("N", "a", 0), 31);
  EXPECT_EQ(file.readInt("N", "b", 0), 31);
  EXPECT_EQ(file.readInt("N", "c", 0), 255);
  EXPECT_EQ(file.readInt("N", "d", 0), -5);
  EXPECT_EQ(file.readInt("N", "e", 0), 7);
  EXPECT_EQ(file.readInt("N", "f", 0), -1);
  EXPECT_EQ(file.readInt("N", "k", 0), 42);
  EXPECT_EQ(file.readInt("N", "l", 0), 8);
  for (const char* unreadable : {"g", "h", "i", "j", "m", "n", "missing"})
    EXPECT_EQ(file.readInt("N", unreadable, -77), -77) << unreadable;
}

TEST_F(ProfileFileTest, HexadecimalIntegersAreDigitsOnly) {
  // Found by fuzzing: the hexadecimal digits went through QString::toUInt,
  // which also takes blanks and a sign and stops at a NUL character.
  static const char text[] = "[N]\na=0x 1F\nb=0x+1F\nc=0x1F\v\nd=0x7f\0ff\ne=0x1F\t2\nf=0x00000001f\ng=0x100000000\n";
  const TProfileFile file(create(QByteArray(text, sizeof text - 1)));
  for (const char* unreadable : {"a", "b", "c", "d", "e", "g"})
    EXPECT_EQ(file.readInt("N", unreadable, -77), -77) << unreadable;
  EXPECT_EQ(file.readInt("N", "f", 0), 31);  // leading zeros, as in decimal
}

TEST_F(ProfileFileTest, SectionsWithManyKeysFollowTheSameRules) {
  // A section far beyond a few keys, with a duplicate and mixed letter case.
  QByteArray text = "[Big]\n";
  for (int i = 0; i < 200; ++i) text += "Key" + QByteArray::number(i) + "=" + QByteArray::number(i) + "\n";
  text += "KEY7=duplicate\n[Next]\nKey7=other section\n";
  TProfileFile file(create(text));
  for (int i = 0; i < 200; ++i) ASSERT_EQ(file.readInt("big", QString("kEy%1").arg(i), -1), i);
  EXPECT_EQ(file.readString("Next", "key7", ""), "other section");

  file.writeInt("Big", "key7", 70);     // the first Key7
  file.writeInt("Big", "Key200", 200);  // after Key199, before the duplicate's successor
  for (int i = 0; i < 20; ++i)          // a section growing from nothing past a few keys
    file.writeInt("New", QString("K%1").arg(i), i);
  file.writeInt("new", "k3", 33);
  file.save();

  const TProfileFile saved(path());
  EXPECT_EQ(saved.readInt("Big", "Key7", -1), 70);
  EXPECT_EQ(saved.readInt("Big", "Key200", -1), 200);
  EXPECT_EQ(saved.readInt("New", "K3", -1), 33);
  EXPECT_EQ(saved.readInt("New", "K19", -1), 19);
  const QByteArray bytes = bytesOf(path());
  EXPECT_TRUE(bytes.contains("Key7=70\n"));
  EXPECT_TRUE(bytes.contains("KEY7=duplicate\nKey200=200\n[Next]"));
  EXPECT_TRUE(bytes.endsWith("K18=18\nK19=19\n"));
}

TEST_F(ProfileFileTest, ValuesAreCutAt2047Characters) {
  const QByteArray longValue(5000, 'x');
  TProfileFile file(create("[S]\nK=" + longValue + "\n"));
  EXPECT_EQ(file.readString("S", "K", "").size(), 2047);

  // Never half of a character outside the basic plane.
  const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
  file.writeString("S", "E", QString(2046, u'a') + emoji);
  EXPECT_EQ(file.readString("S", "E", ""), QString(2046, u'a'));
}

TEST_F(ProfileFileTest, InPlaceEditingKeepsEveryOtherLineByteForByte) {
  const QString name = create(
      "; register file kept by hand\r\n"
      "[Main]\r\n"
      "HighByte = 5\t; five\r\n"
      "  byte0 =  7\r\n"
      "Byte1=1\r\n"
      "Byte1=duplicate\r\n"
      "\r\n"
      "; the next one\r\n"
      "[Diag]\r\n"
      "Odd line\r\n"
      "Byte0=0x10\r\n"
      "\r\n");
  TProfileFile file(name);
  file.writeInt("Main", "Byte0", 9);          // rewritten: key spelling and spacing kept
  file.writeInt("main", "BYTE1", 2);          // the first of duplicate keys
  file.writeInt("Main", "Byte2", 3);          // new key: after the section's last key
  file.writeString("Diag", "Byte0", "0x10");  // same value: the line stays as it is
  file.writeInt("Buffer1", "HighByte", 15);   // new section at the end
  file.writeInt("Buffer1", "Byte0", 1);
  file.writeInt("Main", "Byte3", 4);  // a later new key of an earlier section
  file.save();

  EXPECT_EQ(bytesOf(name), QByteArray("; register file kept by hand\r\n"
                                      "[Main]\r\n"
                                      "HighByte = 5\t; five\r\n"
                                      "  byte0 =  9\r\n"
                                      "Byte1=2\r\n"
                                      "Byte1=duplicate\r\n"
                                      "Byte2=3\r\n"
                                      "Byte3=4\r\n"
                                      "\r\n"
                                      "; the next one\r\n"
                                      "[Diag]\r\n"
                                      "Odd line\r\n"
                                      "Byte0=0x10\r\n"
                                      "\r\n"
                                      "[Buffer1]\r\n"
                                      "HighByte=15\r\n"
                                      "Byte0=1\r\n"));
  EXPECT_FALSE(file.isModified());

  // The "HighByte = 5\t; five" line has a comment inside its value: it reads as such.
  EXPECT_EQ(TProfileFile(name).readString("Main", "HighByte", ""), "5\t; five");
}

TEST_F(ProfileFileTest, NewLinesFollowTheFilesLineEndStyle) {
  const QString cr = create("[A]\rX=1\r", "cr.ini");
  TProfileFile crFile(cr);
  crFile.writeInt("A", "Y", 2);
  crFile.writeInt("B", "Z", 3);
  crFile.save();
  EXPECT_EQ(bytesOf(cr), QByteArray("[A]\rX=1\rY=2\r[B]\rZ=3\r"));

  // A last line without a line end gets one when lines follow it.
  const QString open = create("[A]\r\nX=1", "open.ini");
  TProfileFile openFile(open);
  openFile.writeInt("A", "Y", 2);
  openFile.save();
  EXPECT_EQ(bytesOf(open), QByteArray("[A]\r\nX=1\r\nY=2\r\n"));

  // Found by fuzzing: in a file of mixed line ends, a new line ending in CR
  // right before an empty line ending in LF made one CR LF of the two, and the
  // empty line was gone when the file was read again.
  const QString mixed = create("X\r[A]\n\n[B]\nY=1\n", "mixed.ini");
  TProfileFile mixedFile(mixed);
  mixedFile.writeInt("A", "Z", 2);
  mixedFile.save();
  EXPECT_EQ(bytesOf(mixed), QByteArray("X\r[A]\nZ=2\r\n\n[B]\nY=1\n"));
}

TEST_F(ProfileFileTest, ANewTraceFileIsWrittenInOrder) {
  TProfileFile file(path("new.trc"));
  file.writeString("General", "NbLines", "1");
  file.writeString("Line1", "ID", "123");
  file.writeString("Line1", "DLC", "2");
  file.writeString("Line1", "Data", "12 AB ");
  file.writeString("Line1", "Filter", "0");
  file.writeString("Line1", "Buffer", "1");
  file.save();
  EXPECT_EQ(bytesOf(path("new.trc")), QByteArray("[General]\nNbLines=1\n[Line1]\nID=123\nDLC=2\n"
                                                 "Data=\"12 AB \"\nFilter=0\nBuffer=1\n"));
  EXPECT_EQ(TProfileFile(path("new.trc")).readString("Line1", "Data", "?"), "12 AB ");
}

TEST_F(ProfileFileTest, WrittenValuesReadBackUnchanged) {
  const QStringList values{" lead",
                           "trail ",
                           "\"quoted\"",
                           "'single'",
                           "\"",
                           "'",
                           "a \"b\" c",
                           "",
                           "x=y;z",
                           QString::fromUtf8("Stra\xC3\x9F"
                                             "e \xE2\x82\xAC")};
  {
    TProfileFile file(path());
    for (int i = 0; i < values.size(); ++i) file.writeString("S", QString("K%1").arg(i), values[i]);
    file.save();
  }
  const TProfileFile file(path());
  for (int i = 0; i < values.size(); ++i)
    EXPECT_EQ(file.readString("S", QString("K%1").arg(i), "missing"), values[i]) << i;
  EXPECT_EQ(file.readString(QString::fromUtf8("s"), "k0", "missing"), " lead");
}

TEST_F(ProfileFileTest, NamesAndValuesThatCannotBeStoredAreRefused) {
  TProfileFile file(path());
  EXPECT_THROW(file.writeString("S", "K", "two\nlines"), EProfileFile);
  EXPECT_THROW(file.writeString("S", "K", "cr\rhere"), EProfileFile);
  EXPECT_THROW(file.writeString("S", "a=b", "v"), EProfileFile);
  EXPECT_THROW(file.writeString("S", "", "v"), EProfileFile);
  EXPECT_THROW(file.writeString("S", "[K", "v"), EProfileFile);
  EXPECT_THROW(file.writeString("S", ";K", "v"), EProfileFile);
  EXPECT_THROW(file.writeString("S", " K", "v"), EProfileFile);
  EXPECT_THROW(file.writeString("S]", "K", "v"), EProfileFile);
  EXPECT_THROW(file.writeString("", "K", "v"), EProfileFile);
  EXPECT_THROW(file.writeString("S\n[T", "K", "v"), EProfileFile);
  EXPECT_FALSE(file.isModified());
}

TEST_F(ProfileFileTest, SavingKeepsTheFilesModeAndReplacesItWhole) {
  const QString name = create("[A]\nX=1\n");
  ASSERT_EQ(::chmod(QFile::encodeName(name).constData(), 0640), 0);
  struct stat before {};
  ASSERT_EQ(::stat(QFile::encodeName(name).constData(), &before), 0);

  TProfileFile file(name);
  file.writeInt("A", "X", 2);
  file.save();

  struct stat after {};
  ASSERT_EQ(::stat(QFile::encodeName(name).constData(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file renamed over the old one
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"file.ini"});
}

TEST_F(ProfileFileTest, AFailedSaveSaysSoAndTouchesNothing) {
  const QString nowhere = path("missing-folder/file.rgr");
  TProfileFile file(nowhere);
  file.writeInt("Main", "HighByte", 5);
  try {
    file.save();
    FAIL() << "saving into a missing folder succeeded";
  } catch (const EProfileFile& e) {
    EXPECT_EQ(e.message(), "Unable to write to " + nowhere);
  }
  EXPECT_FALSE(QFile::exists(nowhere));
  EXPECT_TRUE(file.isModified());  // the changes are kept for another try

  TProfileFile proc("/proc/version");
  proc.writeInt("A", "B", 1);
  EXPECT_THROW(proc.save(), EProfileFile);
}

TEST_F(ProfileFileTest, AFileThatCannotBeReadIsNeverReplaced) {
  // A folder, a device and an oversized file read as empty and refuse to be saved.
  ASSERT_TRUE(QDir(dir_.path()).mkdir("folder.trc"));
  const QString huge = path("huge.trc");
  ASSERT_EQ(::truncate(QFile::encodeName(create("[General]\nNbLines=1\n", "huge.trc")).constData(),
                       TProfileFile::kMaxFileSize + 1),
            0);  // sparse: takes no disk space

  for (const QString& name : {path("folder.trc"), QString("/dev/zero"), huge}) {
    TProfileFile file(name);
    EXPECT_FALSE(file.loadError().isEmpty()) << name.toStdString();
    EXPECT_EQ(file.readInt("General", "NbLines", 0), 0);
    file.writeInt("General", "NbLines", 2);
    EXPECT_THROW(file.save(), EProfileFile) << name.toStdString();
  }
  EXPECT_EQ(QFileInfo(huge).size(), TProfileFile::kMaxFileSize + 1);

  if (::geteuid() != 0) {  // root may read and write any file
    const QString locked = create("[A]\nX=1\n", "locked.ini");
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0200), 0);
    TProfileFile file(locked);
    EXPECT_FALSE(file.loadError().isEmpty());
    file.writeInt("A", "X", 2);
    EXPECT_THROW(file.save(), EProfileFile);
    ::chmod(QFile::encodeName(locked).constData(), 0600);
    EXPECT_EQ(bytesOf(locked), QByteArray("[A]\nX=1\n"));

    const QString readOnly = create("[A]\nX=1\n", "readonly.ini");
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0400), 0);
    TProfileFile roFile(readOnly);
    roFile.writeInt("A", "X", 2);
    EXPECT_THROW(roFile.save(), EProfileFile);
    EXPECT_EQ(bytesOf(readOnly), QByteArray("[A]\nX=1\n"));
  }
}

// A file opened from the file manager may be anything: what it holds costs
// memory in proportion to its size, and lines that name nothing cost none.
// (Found by fuzzing, the first row: reading with the size limit as the count
// reserved room for the limit in every loaded file.)
TEST_F(ProfileFileTest, ALoadedFileTakesMemoryInProportionToItsSize) {
  const auto repeated = [](qsizetype times, const std::function<QByteArray(qsizetype)>& line) {
    QByteArray bytes;
    for (qsizetype i = 0; i < times; ++i) bytes += line(i);
    return bytes;
  };
  const auto name = [](qsizetype i) { return QByteArray::number(i, 36); };
  const struct {
    const char* what;
    QByteArray bytes;
    double factor;  // heap taken per byte of the file, at most
  } rows[] = {
      {"a register file", "[Main]\nHighByte=5\nByte0=12\n", 1},
      {"line ends", QByteArray(4 << 20, '\n'), 1.1},
      {"CR line ends", QByteArray(4 << 20, '\r'), 1.1},
      {"comments", repeated(1 << 20, [](qsizetype) { return QByteArray(";\n"); }), 1.1},
      {"one section again and again", repeated(1 << 20, [](qsizetype) { return QByteArray("[a]\n"); }), 1.1},
      {"short keys", "[s]\n" + repeated(300000, [&](qsizetype i) { return name(i) + "=\n"; }), 8},
      {"sections of a key", repeated(200000, [&](qsizetype i) { return "[" + name(i) + "]\nk=\n"; }), 8},
  };
  for (const auto& row : rows) {
    const QString file = create(row.bytes);
    const long long before = HeapInUse();
    const TProfileFile loaded(file);
    const long long taken = HeapInUse() - before;
    EXPECT_LE(taken, row.factor * row.bytes.size() + 64 * 1024) << row.what << ": " << taken << " bytes";
    EXPECT_TRUE(loaded.loadError().isEmpty());
  }
}

TEST_F(ProfileFileTest, BinaryAndTruncatedFilesLoadWithoutHarm) {
  QByteArray binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
  binary += "\n[General]\nNbLines=2\n";
  static const char junk[] = "\xFF\xFE[Bad\0Section]\nK\0ey=v\0al\n";
  binary += QByteArray(junk, sizeof junk - 1);
  const QString bin = create(binary, "binary.trc");
  TProfileFile file(bin);
  EXPECT_EQ(file.readInt("General", "NbLines", 0), 2);
  file.writeInt("General", "NbLines", 3);
  file.save();
  QByteArray expected = binary;
  expected.replace("NbLines=2", "NbLines=3");
  EXPECT_EQ(bytesOf(bin), expected);

  const TProfileFile truncated(create("\xEF\xBB\xBF[General]\nNbLines=2\n[Line1]\nID=12\n[Line2\nID=", "cut.trc"));
  EXPECT_EQ(truncated.readInt("General", "NbLines", 0), 2);   // after a byte-order mark
  EXPECT_EQ(truncated.readString("Line1", "ID", "?"), "12");  // "[Line2" is no header: its "ID=" is a duplicate
  EXPECT_EQ(truncated.readString("Line2", "ID", "?"), "?");

  const TProfileFile empty(create("", "empty.trc"));
  EXPECT_EQ(empty.readInt("General", "NbLines", 0), 0);
}

TEST_F(ProfileFileTest, SavingUnchangedContentDoesNotRewriteTheFile) {
  const QString name = create("[A]\nX=1\n");
  struct stat before {};
  ASSERT_EQ(::stat(QFile::encodeName(name).constData(), &before), 0);
  TProfileFile file(name);
  file.writeInt("A", "X", 1);
  file.save();
  struct stat after {};
  ASSERT_EQ(::stat(QFile::encodeName(name).constData(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);

  // A file that does not exist yet is created even with nothing written.
  TProfileFile fresh(path("fresh.rgr"));
  fresh.save();
  EXPECT_TRUE(QFile::exists(path("fresh.rgr")));
}

}  // namespace
