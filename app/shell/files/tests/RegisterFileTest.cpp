#include "FileContents.h"
#include "RegisterFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include "ProfileFile.h"

namespace {

// A plan as text, one write per word: "5A=00" for a main register,
// "2:60=1F" for register 0x60 of page 2. Failures then show the sequence.
std::string describe(const std::vector<TRegisterWrite>& plan) {
  std::string text;
  char word[16];
  for (const TRegisterWrite& w : plan) {
    if (w.address >= CanReg::PageBase)
      std::snprintf(word, sizeof word, "%d:%02X=%02X", w.page, w.address, w.value);
    else
      std::snprintf(word, sizeof word, "%02X=%02X", w.address, w.value);
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

// The bytes of a literal, NUL bytes included.
template <std::size_t N>
QByteArray bytes(const char (&text)[N]) {
  return QByteArray(text, N - 1);
}

const std::string kReset = "5C=00 5A=00 5B=00 5C=01 5C=00";
// What every page section without keys gives: register 0x60 of its page, 0.
const std::string kEmptyPages = "0:60=00 1:60=00 2:60=00 3:60=00 4:60=00";

class RegisterFileTest : public ::testing::Test {
 protected:
  QString create(const QByteArray& bytes) {
    const QString path = dir_.filePath(QStringLiteral("file%1.rgr").arg(++files_));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
  }
  std::string planOf(const QByteArray& bytes) { return describe(RegisterFile::loadPlan(TProfileFile(create(bytes)))); }

  // Every byte different, so a value in the wrong place shows.
  static RegisterSnapshot numberedSnapshot() {
    RegisterSnapshot s;
    for (int i = 0; i < CanReg::MainCount; ++i) s.main[i] = static_cast<std::uint8_t>(0x10 + i);
    for (int p = 0; p < CanReg::PageCount; ++p)
      for (int i = 0; i < CanReg::PageSize; ++i) s.pages[p][i] = static_cast<std::uint8_t>(0x80 + p * 16 + i);
    return s;
  }

  QTemporaryDir dir_;
  int files_ = 0;
};

TEST_F(RegisterFileTest, NewFileHoldsTheSectionsAndKeysInOrder) {
  const QString path = dir_.filePath("new.rgr");
  TProfileFile file(path);
  RegisterFile::writeSnapshot(file, numberedSnapshot());
  file.save();

  std::vector<std::string> lines;
  for (const QByteArray& line : FileContents(path).split('\n')) lines.push_back(line.toStdString());
  ASSERT_EQ(lines.size(), 8u + 5u * 18u + 1u);  // "Main", the page sections, the empty piece after the last LF
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 8),
            (std::vector<std::string>{"[Main]", "HighByte=5", "Byte0=16", "Byte1=17", "Byte2=18", "Byte3=19",
                                      "Byte4=20", "Byte5=21"}));
  const char* pageSections[] = {"[Diag]", "[Buffer1]", "[Buffer2]", "[Buffer3]", "[Filters]"};
  for (int p = 0; p < CanReg::PageCount; ++p) {
    const std::size_t head = 8 + p * 18;
    SCOPED_TRACE(pageSections[p]);
    EXPECT_EQ(lines[head], pageSections[p]);
    EXPECT_EQ(lines[head + 1], "HighByte=15");
    for (int i = 0; i < CanReg::PageSize; ++i)
      EXPECT_EQ(lines[head + 2 + i], "Byte" + std::to_string(i) + "=" + std::to_string(0x80 + p * 16 + i));
  }
  EXPECT_TRUE(lines.back().empty());
}

TEST_F(RegisterFileTest, SavingInPlaceRewritesOnlyTheSnapshotKeys) {
  // A file someone has annotated, with Windows line ends, an old value in
  // hexadecimal, a key and a section of another program, and fewer page keys.
  const QByteArray before =
      "; my bench setup\r\n"
      "[Main]\r\n"
      "Comment = keep me\r\n"
      "HighByte=5\r\n"
      "Byte0=0x10\r\n"
      "Byte1=17\r\n"
      "\r\n"
      "[Other]\r\n"
      "Byte0=99\r\n"
      "[Filters]\r\n"
      "HighByte=1\r\n"
      "Byte0=1\r\n"
      "Byte1=2\r\n";
  const QString path = create(before);
  TProfileFile file(path);
  RegisterFile::writeSnapshot(file, numberedSnapshot());
  file.save();
  const QByteArray after = FileContents(path);

  // Every line of the old file is still there, in order; only values changed.
  EXPECT_TRUE(
      after.startsWith("; my bench setup\r\n[Main]\r\nComment = keep me\r\nHighByte=5\r\nByte0=16\r\nByte1=17\r\n"
                       "Byte2=18\r\nByte3=19\r\nByte4=20\r\nByte5=21\r\n\r\n[Other]\r\nByte0=99\r\n"
                       "[Filters]\r\nHighByte=15\r\nByte0=192\r\nByte1=193\r\nByte2=194\r\n"))
      << after.constData();
  EXPECT_FALSE(after.contains("\n\n")) << "new lines take the file's CR LF";
  // The sections the file lacked follow at its end, in file order.
  const qsizetype diag = after.indexOf("[Diag]"), b1 = after.indexOf("[Buffer1]"), b3 = after.indexOf("[Buffer3]");
  EXPECT_GT(diag, after.indexOf("Byte15=207"));
  EXPECT_LT(diag, b1);
  EXPECT_LT(b1, b3);

  // And it loads back the snapshot.
  EXPECT_EQ(RegisterFile::lineWrites(RegisterFile::loadPlan(TProfileFile(path))), 171);
}

TEST_F(RegisterFileTest, SavedSnapshotLoadsBackCompletelyWithCsrLast) {
  const QString path = dir_.filePath("snap.rgr");
  TProfileFile file(path);
  RegisterFile::writeSnapshot(file, numberedSnapshot());
  file.save();

  const std::vector<TRegisterWrite> plan = RegisterFile::loadPlan(TProfileFile(path));
  EXPECT_EQ(RegisterFile::lineWrites(plan), 171);
  ASSERT_EQ(plan.size(), 5u + 5u + 80u + 1u);
  EXPECT_EQ(describe({plan.begin(), plan.begin() + 10}), kReset + " 5A=10 5B=11 5D=13 5E=14 5F=15");
  // Pages 0 to 4 in order, every register of each from its own byte.
  for (int p = 0; p < CanReg::PageCount; ++p)
    for (int i = 0; i < CanReg::PageSize; ++i)
      EXPECT_EQ(plan[10 + p * 16 + i],
                (TRegisterWrite{static_cast<std::uint8_t>(0x60 + i), p, static_cast<std::uint8_t>(0x80 + p * 16 + i)}));
  EXPECT_EQ(plan.back(), (TRegisterWrite{CanReg::CSR, 0, 0x12}));
  // The last paged write leaves the cell on page 4.
  EXPECT_EQ(plan[plan.size() - 2].page, 4);
}

// Files that are no register file at all: every key reads as 0, so the load
// resets the cell, writes ISR, register 0x60 of each page and CSR, with 0.
TEST_F(RegisterFileTest, AnyOtherFileGivesTheShortSequence) {
  const std::string shortSequence = kReset + " 5A=00 " + kEmptyPages + " 5C=00";
  const struct {
    const char* what;
    QByteArray bytes;
  } files[] = {
      {"empty", ""},
      {"another program's settings", "[General]\nWindow=maximized\n[Recent]\nFile1=/tmp/a.txt\n"},
      {"binary", bytes("\x7F"
                       "ELF\x02\x01\x01\0\0\0\xFF\xFE[\x80\x81]\r\x00=\x01\n")},
      {"NUL bytes in the values", bytes("[Main]\nHighByte=\0"
                                        "5\nByte0=\0"
                                        "7\n")},
      {"NUL bytes in the names", bytes("[Ma\0in]\nHigh\0Byte=5\n[Main]\nHighByte\0=5\n")},
      {"only blanks and comments", "  \n;[Main]\n; HighByte=5\n\t\n"},
      {"a key before any section", "HighByte=5\nByte0=9\n"},
  };
  for (const auto& f : files) EXPECT_EQ(planOf(f.bytes), shortSequence) << f.what;

  // A file that does not exist reads the same way; the caller decides whether to load it.
  EXPECT_EQ(describe(RegisterFile::loadPlan(TProfileFile(dir_.filePath("missing.rgr")))), shortSequence);
}

TEST_F(RegisterFileTest, ValuesKeepTheirLowEightBits) {
  const struct {
    const char* text;
    const char* loads;
  } values[] = {
      {"0x1F", "1F"},        {"0X1f", "1F"},  {"31", "1F"},    {"-1", "FF"},
      {"999", "E7"},         {"256", "00"},   {"abc", "00"},   {" 12 ", "0C"},
      {"\"12\"", "0C"},      {"+7", "07"},    {"", "00"},      {"0x", "00"},
      {"1e3", "00"},         {"12abc", "00"}, {"0x1FF", "FF"}, {"-2147483648", "00"},
      {"99999999999", "00"},
  };
  for (const auto& v : values)
    EXPECT_EQ(planOf(QByteArray("[Main]\nHighByte=0\nByte0=") + v.text + "\n"),
              kReset + " 5A=" + v.loads + " " + kEmptyPages + " 5C=00")
        << '"' << v.text << '"';
}

TEST_F(RegisterFileTest, MainSectionWritesCsrOnlyAtTheEnd) {
  EXPECT_EQ(planOf("[Main]\nHighByte=5\nByte0=1\nByte1=2\nByte2=3\nByte3=4\nByte4=5\nByte5=6\n"),
            kReset + " 5A=01 5B=02 5D=04 5E=05 5F=06 " + kEmptyPages + " 5C=03");
  // A shorter "Main" stops early, but CSR still comes from "Byte2".
  EXPECT_EQ(planOf("[Main]\nHighByte=1\nByte0=1\nByte1=2\nByte2=3\nByte3=4\n"),
            kReset + " 5A=01 5B=02 " + kEmptyPages + " 5C=03");
}

TEST_F(RegisterFileTest, HighByteCountsInEightBits) {
  const std::string allOfPage0 =
      "0:60=00 0:61=00 0:62=00 0:63=00 0:64=00 0:65=00 0:66=00 0:67=00 "
      "0:68=00 0:69=00 0:6A=00 0:6B=00 0:6C=00 0:6D=00 0:6E=00 0:6F=00";
  // "Main" runs on past PSR into the paged window (page 0), up to 0x6F.
  const std::string mainTo6F = "5A=00 5B=00 5D=00 5E=00 5F=00 " + allOfPage0;
  for (const char* high : {"255", "-1", "0xFF", "1000", "0x7FFFFFFF"})
    EXPECT_EQ(planOf(QByteArray("[Main]\nHighByte=") + high + "\n"),
              kReset + " " + mainTo6F + " " + kEmptyPages + " 5C=00")
        << high;
  for (const char* high : {"256", "abc", "0", ""})
    EXPECT_EQ(planOf(QByteArray("[Main]\nHighByte=") + high + "\n"), kReset + " 5A=00 " + kEmptyPages + " 5C=00")
        << high;

  // A page section never wraps round to the main registers, however far it counts.
  std::string page4To6F = "4:60=00";
  for (int a = 0x61; a <= 0x6F; ++a) page4To6F += " 4:" + QByteArray::number(a, 16).toUpper().toStdString() + "=00";
  for (const char* high : {"255", "-1", "1000", "250"})
    EXPECT_EQ(planOf(QByteArray("[Filters]\nHighByte=") + high + "\nByte250=7\nByte252=9\n"),
              kReset + " 5A=00 0:60=00 1:60=00 2:60=00 3:60=00 " + page4To6F + " 5C=00")
        << high;

  EXPECT_EQ(planOf("[Buffer2]\nHighByte=7\nByte0=1\nByte7=8\nByte8=9\n"),
            kReset + " 5A=00 0:60=00 1:60=00 2:60=01 2:61=00 2:62=00 2:63=00 2:64=00 2:65=00 2:66=00 2:67=08 3:60=00 " +
                "4:60=00 5C=00");
}

TEST_F(RegisterFileTest, ReadsTheWayEveryProfileFileReads) {
  const std::string expected = kReset + " 5A=21 5B=22 0:60=00 1:60=00 2:60=00 3:60=00 4:60=33 5C=00";
  const struct {
    const char* what;
    QByteArray bytes;
  } files[] = {
      {"LF", "[Main]\nHighByte=1\nByte0=33\nByte1=34\n[Filters]\nByte0=51\n"},
      {"CR LF", "[Main]\r\nHighByte=1\r\nByte0=33\r\nByte1=34\r\n[Filters]\r\nByte0=51\r\n"},
      {"CR", "[Main]\rHighByte=1\rByte0=33\rByte1=34\r[Filters]\rByte0=51"},
      {"byte-order mark", "\xEF\xBB\xBF[Main]\nHighByte=1\nByte0=33\nByte1=34\n[Filters]\nByte0=51\n"},
      {"other letter case and blanks", "  [ MAIN ]\n  highbyte = 1\nBYTE0= 33\nbyte1 =34 \n[filters]\nbyte0=0x33\n"},
      {"duplicates: the first counts",
       "[Main]\nHighByte=1\nByte0=33\nByte0=99\nByte1=34\n[Filters]\nByte0=51\n[Main]\nHighByte=5\nByte1=99\n"
       "[Filters]\nByte0=1\n"},
  };
  for (const auto& f : files) EXPECT_EQ(planOf(f.bytes), expected) << f.what;
}

}  // namespace
