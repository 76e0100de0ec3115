// A trace line from a buffer page image.
#include <gtest/gtest.h>

#include "TraceLine.h"
#include "TraceLinePrinter.h"

using namespace CanReg;
using Page = std::array<std::uint8_t, PageSize>;

namespace {
Page BufferPage(std::uint8_t idhr, std::uint8_t idlr, std::initializer_list<std::uint8_t> data, std::uint8_t bcsr) {
  Page page{};
  page[PageIndex(IDHR)] = idhr;
  page[PageIndex(IDLR)] = idlr;
  int i = 0;
  for (std::uint8_t byte : data) page[static_cast<std::size_t>(PageIndex(Data0) + i++)] = byte;
  page[PageIndex(BCSR)] = bcsr;
  return page;
}
}  // namespace

TEST(TraceLine, CellsOfAFrame) {
  // IDHR 0x24, IDLR 0x62: identifier 0x123, two data bytes; BCSR 0x0C: filter 1.
  const TTraceLine line = TTraceLine::FromBufferPage(BufferPage(0x24, 0x62, {0x12, 0xAB, 0x77}, 0x0C), 2);
  EXPECT_EQ(line.id, "123");
  EXPECT_EQ(line.dlc, "2");
  EXPECT_EQ(line.data, "12 AB ");  // only the bytes the length code covers
  EXPECT_EQ(line.filter, "1");
  EXPECT_EQ(line.buffer, "2");
}

TEST(TraceLine, IdentifierHasThreeUpperCaseDigits) {
  EXPECT_EQ(TTraceLine::FromBufferPage(BufferPage(0xFF, 0xE0, {}, 0), 1).id, "7FF");
  EXPECT_EQ(TTraceLine::FromBufferPage(BufferPage(0x00, 0xA0, {}, 0), 1).id, "005");
  EXPECT_EQ(TTraceLine::FromBufferPage(BufferPage(0x15, 0x40, {}, 0), 1).id, "0AA");
}

TEST(TraceLine, DataFollowsTheLengthCodeUpToEightBytes) {
  const auto none = TTraceLine::FromBufferPage(BufferPage(0x01, 0x00, {0x11, 0x22}, 0), 1);
  EXPECT_EQ(none.dlc, "0");
  EXPECT_EQ(none.data, "");

  const auto eight =
      TTraceLine::FromBufferPage(BufferPage(0x01, 0x08, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, 0), 3);
  EXPECT_EQ(eight.data, "01 23 45 67 89 AB CD EF ");
  EXPECT_EQ(eight.data.size(), 24);

  // A length code above 8 is shown as the cell reports it; the data stops at
  // the eight data registers (BCSR at byte 15 is not a data byte).
  const auto fifteen = TTraceLine::FromBufferPage(BufferPage(0x01, 0x0F, {1, 2, 3, 4, 5, 6, 7, 8}, 0xF8), 1);
  EXPECT_EQ(fifteen.dlc, "15");
  EXPECT_EQ(fifteen.data, "01 02 03 04 05 06 07 08 ");
  EXPECT_EQ(fifteen.filter, "31");

  // A remote frame's kind bit does not enter the length code, and the data
  // registers (left by an earlier frame) are not its data.
  const auto remote = TTraceLine::FromBufferPage(BufferPage(0x01, 0x13, {0x55, 0x66, 0x77}, 0), 1);
  EXPECT_EQ(remote.dlc, "3");
  EXPECT_EQ(remote.data, "R");
}
