// The SLCAN lines on their own: commands read, lines cut, frames written out;
// and what the commands make of the cell's registers.
#include <gtest/gtest.h>

#include "SlcanCell.h"
#include "SlcanProtocol.h"

using namespace Slcan;
using Kind = Command::Kind;
using Bytes = std::array<std::uint8_t, 4>;

TEST(SlcanProtocol, ParsesEachCommandAndRefusesWhatItCannotCarryOut) {
  struct Case {
    std::string_view line;
    Kind kind;
    std::uint32_t number = 0;
  };
  const Case cases[] = {
      {"", Kind::Empty},
      {"O", Kind::Open},
      {"L", Kind::ListenOnly},
      {"C", Kind::Close},
      {"F", Kind::Status},
      {"V", Kind::Version},
      {"v", Kind::Detail},
      {"N", Kind::SerialNumber},
      {"S0", Kind::Bitrate, 10000},
      {"S4", Kind::Bitrate, 125000},
      {"S7", Kind::Bitrate, 800000},
      {"S8", Kind::Bitrate, 1000000},
      {"M00000000", Kind::AcceptanceCode, 0},
      {"mFFFFffff", Kind::AcceptanceMask, 0xFFFFFFFF},
      {"Z1", Kind::Timestamps, 1},
      {"Z0", Kind::Timestamps, 0},
      {"S9", Kind::Refused},
      {"S", Kind::Refused},
      {"O1", Kind::Refused},
      {"s031C", Kind::Refused},
      {"T123456780", Kind::Refused},
      {"R123456780", Kind::Refused},
      {"t800", Kind::Refused},
      {"t1239", Kind::Refused},
      {"t12311", Kind::Refused},
      {"t1231G0", Kind::Refused},
      {"t12", Kind::Refused},
      {"r1231FF", Kind::Refused},
      {"M0000000", Kind::Refused},
      {"Z2", Kind::Refused},
      {"x", Kind::Refused},
      {std::string_view("O\0", 2), Kind::Refused},
  };
  for (const Case& c : cases) {
    const Command command = Parse(c.line);
    EXPECT_EQ(command.kind, c.kind) << c.line;
    EXPECT_EQ(command.number, c.number) << c.line;
    EXPECT_EQ(command.kind == Kind::Refused, !command.why.empty()) << c.line;
  }
}

TEST(SlcanProtocol, FramesGoInAndOutTheSameWay) {
  const Frame data{0x7FF, false, 8, {1, 2, 3, 4, 5, 6, 7, 0xAB}};
  const Frame remote{0x000, true, 3, {}};
  EXPECT_EQ(Parse("t7FF80102030405060708aB").kind, Kind::Refused);  // 9 data bytes
  EXPECT_EQ(Parse("t7FF801020304050607aB").frame, data);
  EXPECT_EQ(Parse("r0003").frame, remote);
  EXPECT_EQ(FrameLine(data, std::nullopt), "t7FF801020304050607AB\r");
  EXPECT_EQ(FrameLine(remote, 59999), "r0003EA5F\r");
  EXPECT_EQ(FrameLine({0x12, false, 0, {}}, 60001), "t01200001\r");
}

TEST(SlcanProtocol, LinesAreCutAtCrAndOverlongOnesReportedOnce) {
  LineReader reader;
  std::vector<LineReader::Input> inputs;
  reader.Feed("O\rt12", inputs);
  reader.Feed("30\r\n\rC", inputs);
  ASSERT_EQ(inputs.size(), 3u);
  EXPECT_EQ(inputs[0].line, "O");
  EXPECT_EQ(inputs[1].line, "t1230");
  EXPECT_EQ(inputs[2].line, "");
  inputs.clear();
  reader.Feed(std::string(3 * MaxLine, 'x'), inputs);  // no CR: one report, the rest dropped
  reader.Feed("yy\rV\r", inputs);
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_TRUE(inputs[0].tooLong);
  EXPECT_EQ(inputs[1].line, "V");  // the C before the junk was part of the junk's line
}

TEST(SlcanCell, RatesTakeTheExactTimingNearestTheUsualSamplePoints) {
  struct Case {
    int clock, rate;
    std::optional<BitTiming::Setting> setting;
  };
  const Case cases[] = {
      {8, 125000, BitTiming::Setting{4, 12, 3}},   // 81.25 %, of 62.5-87.5 % choices
      {8, 1000000, BitTiming::Setting{1, 5, 2}},   // 75 % and 87.5 % lie as close: the first listed
      {8, 800000, BitTiming::Setting{1, 7, 2}},    // 80 %
      {16, 10000, BitTiming::Setting{64, 16, 8}},  // 68 %, the only exact one
      {5, 800000, std::nullopt},
      {8, 3000000, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(SlcanCell::TimingFor(c.clock, c.rate), c.setting) << c.clock << " " << c.rate;
}

TEST(SlcanCell, CodeAndMaskBecomeAFilterOnIdentifierAndFrameKind) {
  struct Case {
    std::uint32_t code, mask;
    std::optional<Bytes> filter;  // FHR, FLR, MHR, MLR
  };
  const Case cases[] = {
      {0x00000000, 0xFFFFFFFF, Bytes{0x00, 0x00, 0x00, 0x00}},  // everything
      {0x24600000, 0x000FFFFF, Bytes{0x24, 0x60, 0xFF, 0xF0}},  // data frames of 123 only
      {0x24700000, 0x01FFFFFF, Bytes{0x24, 0x70, 0xFE, 0x00}},  // 120-12F, either kind
      {0x24600000, 0x001FFFFF, Bytes{0x24, 0x60, 0xFF, 0xE0}},  // 123, either kind
      {0x00000000, 0xFFFFFF00, std::nullopt},                   // a data byte compared
  };
  for (const Case& c : cases)
    EXPECT_EQ(SlcanCell::FilterFor({c.code, c.mask}), c.filter) << std::hex << c.code << " " << c.mask;
}

TEST(SlcanCell, FlagsComeFromTheCellsRegisters) {
  struct Case {
    std::uint8_t isr, csr, tecr, recr;
    bool overrunSeen;
    std::uint8_t flags;
  };
  const Case cases[] = {
      {0x00, 0x01, 0, 0, false, 0x00},   {0x04, 0x01, 0, 0, false, 0x08},  {0x00, 0x01, 0, 0, true, 0x08},
      {0x00, 0x21, 95, 95, false, 0x20}, {0x00, 0x01, 96, 0, false, 0x04}, {0x00, 0x01, 0, 96, false, 0x04},
      {0x02, 0x01, 0, 0, false, 0x80},   {0x00, 0x40, 0, 0, false, 0x80},
  };
  for (const Case& c : cases) {
    TRegisterImages images;
    images.main[CanReg::MainIndex(CanReg::ISR)] = c.isr;
    images.main[CanReg::MainIndex(CanReg::CSR)] = c.csr;
    images.pages[0][CanReg::PageIndex(CanReg::TECR)] = c.tecr;
    images.pages[0][CanReg::PageIndex(CanReg::RECR)] = c.recr;
    EXPECT_EQ(SlcanCell::StatusFlags(images, c.overrunSeen), c.flags) << int(c.isr) << " " << int(c.csr);
  }
}
