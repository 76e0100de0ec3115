// Trace lines as a candump log: the frames the cells make, the lines, the
// file written whole or not at all, and can-utils reading it back.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "AppError.h"
#include "CandumpExport.h"
#include "CandumpLine.h"
#include "FileContents.h"
#include "FileSizeLimit.h"
#include "Log2asc.h"

using namespace std::chrono;

namespace {

TTraceLine Line(QString id, QString dlc, QString data) {
  return TTraceLine{std::move(id), std::move(dlc), std::move(data), QStringLiteral("0"), QStringLiteral("1")};
}

system_clock::time_point At(long long micros) {
  return system_clock::time_point(duration_cast<system_clock::duration>(microseconds(micros)));
}

std::string Text(const TTraceLine& line, bool remote, long long micros = 1700000000123456) {
  std::string out;
  const std::optional<Candump::Frame> frame = Candump::FrameOf(line, remote);
  if (frame) Candump::AppendLine(out, At(micros), *frame);
  return out;
}

void Put(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace

TEST(CandumpLine, FramesOfReceivedLines) {
  EXPECT_EQ(Text(Line("123", "2", "12 AB "), false), "(1700000000.123456) vorelan0 123#12AB\n");
  EXPECT_EQ(Text(Line("7FF", "8", "01 02 03 04 05 06 07 08 "), false),
            "(1700000000.123456) vorelan0 7FF#0102030405060708\n");
  EXPECT_EQ(Text(Line("005", "0", ""), false), "(1700000000.123456) vorelan0 005#\n");
  // A length code above 8: eight bytes, then the code.
  EXPECT_EQ(Text(Line("010", "12", "01 02 03 04 05 06 07 08 "), false),
            "(1700000000.123456) vorelan0 010#0102030405060708_C\n");
}

TEST(CandumpLine, RemoteFramesCarryTheirLengthNotTheirData) {
  EXPECT_EQ(Text(Line("123", "3", "AA BB CC "), true), "(1700000000.123456) vorelan0 123#R3\n");
  EXPECT_EQ(Text(Line("123", "0", ""), true), "(1700000000.123456) vorelan0 123#R\n");
  EXPECT_EQ(Text(Line("123", "15", "whatever"), true), "(1700000000.123456) vorelan0 123#R8_F\n");
}

TEST(CandumpLine, TimeIsSecondsAndMicrosecondsSince1970) {
  const TTraceLine line = Line("1", "0", "");
  EXPECT_EQ(Text(line, false, 5), "(0000000000.000005) vorelan0 001#\n");
  EXPECT_EQ(Text(line, false, 1700000001000000), "(1700000001.000000) vorelan0 001#\n");
  EXPECT_EQ(Text(line, false, -1), "(0000000000.000000) vorelan0 001#\n");
}

// What a hand-edited or damaged trace file may hold is no frame.
TEST(CandumpLine, CellsThatMakeNoFrame) {
  const TTraceLine bad[] = {
      Line("?", "0", ""),
      Line("800", "0", ""),
      Line("", "0", ""),
      Line("0123", "0", ""),
      Line("12G", "0", ""),
      Line("123", "?", ""),
      Line("123", "16", ""),
      Line("123", "-1", ""),
      Line("123", "2", "12 "),
      Line("123", "1", "12 AB "),
      Line("123", "2", "12AB "),
      Line("123", "1", "1 "),
      Line("123", "1", "XY "),
      Line("123", "9", "01 02 03 04 05 06 07 "),
      Line("123", "8", "01 02 03 04 05 06 07 08 09 "),
  };
  for (const TTraceLine& line : bad) {
    EXPECT_FALSE(Candump::FrameOf(line, false))
        << line.id.toStdString() << "|" << line.dlc.toStdString() << "|" << line.data.toStdString();
  }
  // A remote frame still needs its identifier and length code.
  EXPECT_FALSE(Candump::FrameOf(Line("?", "1", ""), true));
  // Lower-case digits and blanks around the pairs are read.
  EXPECT_EQ(Text(Line("7ff", "2", " ab  cd"), false), "(1700000000.123456) vorelan0 7FF#ABCD\n");
}

class CandumpExportFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  QString Path(const QString& name) const { return dir_.filePath(name); }
  QStringList Files() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }

  QTemporaryDir dir_;
};

TEST_F(CandumpExportFile, WritesTheFramesInOrderAndCountsTheLinesLeftOut) {
  const QString path = Path("trace.log");
  Put(path, "an older, longer file that is replaced as a whole\n");
  const std::vector<TTraceLine> lines{Line("123", "2", "12 AB "), Line("?", "?", ""), Line("7FF", "1", "01 "),
                                      Line("001", "0", "")};
  const std::vector<TTraceListing> listings{{At(1700000000000001), false},
                                            {At(1700000000500000), false},
                                            {At(1700000001000000), true},
                                            {At(1700000002), false}};
  const CandumpExport::Result result = CandumpExport::Write(path, lines, listings);
  EXPECT_EQ(result.written, 3u);
  EXPECT_EQ(result.leftOut, 1u);
  EXPECT_EQ(result.firstLeftOut, 2u);
  EXPECT_EQ(FileContents(path),
            "(1700000000.000001) vorelan0 123#12AB\n"
            "(1700000001.000000) vorelan0 7FF#R1\n"
            "(0000001700.000002) vorelan0 001#\n");
  EXPECT_EQ(Files(), QStringList{"trace.log"});
  EXPECT_EQ(CandumpExport::LeftOutMessage(result, path),
            "Line 2 of the trace is not a CAN frame and was left out of " + path);

  const CandumpExport::Result two{1, 2, 3};
  EXPECT_EQ(CandumpExport::LeftOutMessage(two, "x.log"),
            "2 lines of the trace are not CAN frames (the first is line 3) and were left out of x.log");
  EXPECT_TRUE(CandumpExport::LeftOutMessage({5, 0, 0}, path).isEmpty());

  // An empty trace gives an empty log.
  EXPECT_EQ(CandumpExport::Write(path, {}, {}).written, 0u);
  EXPECT_EQ(FileContents(path), "");
}

TEST_F(CandumpExportFile, AFileThatCannotBeWrittenIsNamed) {
  const QString path = Path("no such folder/trace.log");
  try {
    CandumpExport::Write(path, {Line("123", "0", "")}, {{}});
    FAIL() << "no error";
  } catch (const EAppError& e) {
    EXPECT_EQ(e.what(), "Unable to write to " + path.toStdString());
  }
  // A folder in the file's place.
  ASSERT_TRUE(QDir(dir_.path()).mkdir("folder"));
  EXPECT_THROW(CandumpExport::Write(Path("folder"), {Line("123", "0", "")}, {{}}), EAppError);
  EXPECT_EQ(Files(), QStringList{});
}

// A write that fails half way (a full disk: FileSizeLimit.h), in a large
// export or in a small one that fits one chunk, leaves the previous file as
// it was and no temporary file behind.
TEST_F(CandumpExportFile, AFailureHalfWayLeavesThePreviousFileWhole) {
  const QString path = Path("trace.log");
  for (const auto& [frames, limit] : {std::pair<std::size_t, rlim_t>{5000, 100 * 1024}, {300, 8192}}) {
    Put(path, "previous\n");
    std::vector<TTraceLine> lines(frames, Line("123", "8", "01 02 03 04 05 06 07 08 "));
    bool failed = false;
    try {
      const FileSizeLimit fullDisk(limit);
      CandumpExport::Write(path, lines, std::vector<TTraceListing>(lines.size()));
    } catch (const EAppError& e) {
      failed = e.what() == "Unable to write to " + path.toStdString();
    }
    EXPECT_TRUE(failed) << frames;
    EXPECT_EQ(FileContents(path), "previous\n");
    EXPECT_EQ(Files(), QStringList{"trace.log"});
  }
}

// can-utils' log2asc reads the log back with the same identifiers, kinds,
// lengths and data in the same order.
TEST_F(CandumpExportFile, Log2ascReadsTheLogBack) {
  std::vector<TTraceLine> lines;
  std::vector<TTraceListing> listings;
  for (int k = 0; k < 40; ++k) {
    QString data;
    const int length = k % 9;
    for (int i = 0; i < length; ++i) data += QStringLiteral("%1 ").arg((k * 7 + i) & 0xFF, 2, 16, QLatin1Char('0'));
    lines.push_back(Line(QString::number((k * 0x35) & 0x7FF, 16), QString::number(length), data.toUpper()));
    listings.push_back({At(1700000000000000 + k * 250000LL), k % 10 == 9});
  }
  const QString path = Path("trace.log");
  ASSERT_EQ(CandumpExport::Write(path, lines, listings).written, lines.size());

  const std::vector<AscFrame> read = ReadBackWithLog2asc(path);
  for (std::size_t k = 0; k < read.size(); ++k) {
    ASSERT_LT(k, lines.size());
    EXPECT_EQ(read[k].id.toInt(nullptr, 16), lines[k].id.toInt(nullptr, 16)) << k;
    EXPECT_EQ(read[k].kind, listings[k].remote ? "r" : "d") << k;
    EXPECT_EQ(read[k].dlc, lines[k].dlc) << k;
    if (!listings[k].remote) {
      EXPECT_EQ(read[k].data.simplified(), lines[k].data.simplified()) << k;
    }
  }
  EXPECT_EQ(read.size(), lines.size());
}
