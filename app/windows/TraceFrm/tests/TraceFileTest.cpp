// Trace files: the format, the in-place update, round trips, and files that
// are damaged or huge.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>

#include "ProfileFile.h"
#include "TraceFile.h"
#include "TraceLinePrinter.h"

// Found by the failure messages through the listing's own namespace.
void PrintTo(const TTraceListing& listing, std::ostream* os) {
  *os << listing.listed.time_since_epoch().count() << (listing.remote ? " remote" : "")
      << (listing.timed ? " timed" : "");
}

namespace {

TTraceLine Line(QString id, QString dlc, QString data, QString filter, QString buffer) {
  return TTraceLine{std::move(id), std::move(dlc), std::move(data), std::move(filter), std::move(buffer)};
}

class TraceFileTest : public ::testing::Test {
 protected:
  QString PathOf(const QString& name) const { return dir_.filePath(name); }
  // A file with these bytes, loaded as the main window loads it.
  QString WriteBytes(const QString& name, const QByteArray& bytes) {
    QFile file(PathOf(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  }
  static QByteArray Saved(const std::vector<TTraceLine>& lines, const QString& path,
                          const std::vector<TTraceListing>& listings = {}) {
    TProfileFile file(path);
    TraceFile::Write(lines, listings, file);
    file.save();
    QFile saved(path);
    EXPECT_TRUE(saved.open(QIODevice::ReadOnly));
    return saved.readAll();
  }
  static TraceFile::Contents Contents(const QString& path) { return TraceFile::Read(TProfileFile(path), Loading); }
  static std::vector<TTraceLine> Loaded(const QString& path) { return Contents(path).lines; }

  static constexpr std::chrono::system_clock::time_point Loading{std::chrono::seconds(1000)};

  QTemporaryDir dir_;
};

}  // namespace

TEST_F(TraceFileTest, OneFrameInANewFile) {
  const QByteArray bytes = Saved({Line("123", "2", "12 AB ", "0", "1")}, PathOf("one.trc"));
  // The data cell ends in a blank: the profile file quotes it so that it reads back whole.
  EXPECT_EQ(bytes,
            "[General]\nNbLines=1\n"
            "[Line1]\nID=123\nDLC=2\nData=\"12 AB \"\nFilter=0\nBuffer=1\n");
  EXPECT_EQ(Loaded(PathOf("one.trc")), (std::vector<TTraceLine>{Line("123", "2", "12 AB ", "0", "1")}));
}

TEST_F(TraceFileTest, SaveThenLoadThenSaveGivesTheSameBytes) {
  const std::vector<TTraceLine> lines{
      Line("123", "2", "12 AB ", "0", "1"),
      Line("7FF", "8", "01 23 45 67 89 AB CD EF ", "1", "3"),
      Line("000", "0", "", "0", "2"),
      Line("?", "0", "", "?", "?"),                          // the defaults of a damaged file
      Line("weird = text", "'q'", " lead", "\"x\"", "[9]"),  // loaded texts are kept as they are
  };
  const QByteArray first = Saved(lines, PathOf("a.trc"));
  const std::vector<TTraceLine> loaded = Loaded(PathOf("a.trc"));
  EXPECT_EQ(loaded, lines);
  EXPECT_EQ(Saved(loaded, PathOf("b.trc")), first);
}

TEST_F(TraceFileTest, TimesAndRemoteFramesComeBackAndOlderFilesLoadWithoutTimes) {
  using std::chrono::microseconds;
  const std::chrono::system_clock::time_point read{microseconds(1765270801123456)};
  const std::vector<TTraceLine> lines{Line("123", "2", "12 AB ", "0", "1"), Line("7FF", "3", "R", "1", "2"),
                                      Line("001", "0", "", "0", "3")};
  const std::vector<TTraceListing> listings{{read, false, true}, {read + microseconds(1500), true, true}, {}};
  const QByteArray bytes = Saved(lines, PathOf("timed.trc"), listings);
  EXPECT_TRUE(bytes.contains("[Line1]\nID=123\nDLC=2\nData=\"12 AB \"\nFilter=0\nBuffer=1\nTime=1765270801.123456\n"));
  EXPECT_TRUE(bytes.contains("Data=R\nFilter=1\nBuffer=2\nTime=1765270801.124956\n"));
  EXPECT_TRUE(bytes.endsWith("Buffer=3\n"));  // a line without a time has no Time key
  const TraceFile::Contents loaded = Contents(PathOf("timed.trc"));
  EXPECT_EQ(loaded.lines, lines);
  const std::vector<TTraceListing> expected{listings[0], listings[1], {Loading, false, false}};
  EXPECT_EQ(loaded.listings, expected);

  // Times that are no such time: the line loads without one.
  for (const char* text : {"", "12", "1.5", "1765270801.12345", "-1.000000", "1x.000000", "1234567890123.000000"})
    EXPECT_FALSE(TraceFile::TimeOf(QString::fromLatin1(text))) << text;
  EXPECT_EQ(TraceFile::TimeOf("0.000001"), std::chrono::system_clock::time_point(microseconds(1)));
}

TEST_F(TraceFileTest, SavingIntoAnExistingFileUpdatesItInPlace) {
  const QString path = PathOf("long.trc");
  std::vector<TTraceLine> five;
  for (int k = 1; k <= 5; ++k) five.push_back(Line(QString::number(k), "1", "0" + QString::number(k) + " ", "0", "1"));
  Saved(five, path);
  // Someone's comment and an extra key survive too.
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("; kept\n[Notes]\nWho=me\n");
  }

  const std::vector<TTraceLine> three{Line("A01", "0", "", "1", "2"), Line("A02", "0", "", "1", "2"),
                                      Line("A03", "0", "", "1", "3")};
  const QByteArray bytes = Saved(three, path);
  EXPECT_TRUE(bytes.contains("[Line4]\nID=4\n"));
  EXPECT_TRUE(bytes.contains("[Line5]\nID=5\n"));
  EXPECT_TRUE(bytes.contains("; kept\n[Notes]\nWho=me\n"));
  EXPECT_TRUE(bytes.contains("NbLines=3\n"));
  EXPECT_EQ(Loaded(path), three);  // Line4 and Line5 are no longer counted
}

TEST_F(TraceFileTest, MissingKeysTakeTheirDefaults) {
  const QString path = WriteBytes("gaps.trc",
                                  "[General]\r\nNbLines=3\r\n"
                                  "[Line1]\r\nID=100\r\nDLC=1\r\nData=FF \r\nFilter=1\r\nBuffer=2\r\n"
                                  "[Line2]\r\nID=101\r\nDLC=0\r\nData=\r\nFilter=0\r\n"
                                  "[line3]\r\n");
  EXPECT_EQ(Loaded(path), (std::vector<TTraceLine>{Line("100", "1", "FF", "1", "2"),  // unquoted: trimmed
                                                   Line("101", "0", "", "0", "?"), Line("?", "0", "", "?", "?")}));
}

TEST_F(TraceFileTest, DamagedCountsGiveAnEmptyOrBoundedList) {
  const QByteArray line1 = "[Line1]\nID=1\nDLC=0\nData=\nFilter=0\nBuffer=1\n";
  struct Case {
    QByteArray general;
    std::size_t lines;
  };
  const Case cases[] = {
      {"", 0},                          // no General
      {"[General]\n", 0},               // no NbLines
      {"[General]\nNbLines=abc\n", 0},  // not a number
      {"[General]\nNbLines=-4\n", 0},
      {"[General]\nNbLines=0x1\n", 1},  // hexadecimal, as every profile integer
      {"[General]\nNbLines=2\n", 2},    // the second line from defaults alone
  };
  for (const Case& c : cases) {
    const std::vector<TTraceLine> loaded = Loaded(WriteBytes("count.trc", c.general + line1));
    EXPECT_EQ(loaded.size(), c.lines) << c.general.constData();
  }

  // A count far beyond what the file holds cannot exhaust memory: past the
  // counts always honoured, a file gives at most as many lines as it has text lines.
  const std::vector<TTraceLine> huge = Loaded(WriteBytes("huge.trc", "[General]\nNbLines=2147483647\n" + line1));
  EXPECT_EQ(huge.size(), std::size_t(TraceFile::kAlwaysHonoured));
  EXPECT_EQ(huge.front(), Line("1", "0", "", "0", "1"));
  EXPECT_EQ(huge.back(), Line("?", "0", "", "?", "?"));
  QByteArray many = "[General]\nNbLines=70000\n";
  for (int k = 1; k <= 70000; ++k) many += "[Line" + QByteArray::number(k) + "]\n";
  EXPECT_EQ(Loaded(WriteBytes("many.trc", many)).size(), 70000u);
}

TEST_F(TraceFileTest, GarbageLoadsWithoutHarm) {
  QByteArray garbage("[General]\nNbLines=40\n[Line1\nID==\n=\n[Line2]\n\0\0\xff\xfe binary\nID=\x01\x02\n", 56);
  for (int i = 0; i < 256; ++i) garbage += char(i);
  garbage += "\r\r\n[Line3]\nData=" + QByteArray(5000, 'x') + "\n";
  const std::vector<TTraceLine> loaded = Loaded(WriteBytes("garbage.trc", garbage));
  ASSERT_EQ(loaded.size(), 40u);
  EXPECT_EQ(loaded[2].data.size(), TProfileFile::kMaxValueLength);  // values are cut as the profile file cuts them
  EXPECT_EQ(loaded[39], Line("?", "0", "", "?", "?"));
}

TEST_F(TraceFileTest, AHundredThousandLinesRoundTrip) {
  std::vector<TTraceLine> lines;
  lines.reserve(100000);
  for (int k = 0; k < 100000; ++k)
    lines.push_back(Line(QStringLiteral("%1").arg(k & 0x7FF, 3, 16, QLatin1Char('0')).toUpper(), "3",
                         QStringLiteral("%1 00 FF ").arg(k & 0xFF, 2, 16, QLatin1Char('0')).toUpper(),
                         QString::number(k & 1), QString::number(k % 3 + 1)));
  const QByteArray bytes = Saved(lines, PathOf("big.trc"));
  EXPECT_TRUE(bytes.endsWith("[Line100000]\nID=69F\nDLC=3\nData=\"9F 00 FF \"\nFilter=1\nBuffer=1\n"));
  const std::vector<TTraceLine> loaded = Loaded(PathOf("big.trc"));
  ASSERT_EQ(loaded.size(), lines.size());
  EXPECT_EQ(loaded, lines);
}
