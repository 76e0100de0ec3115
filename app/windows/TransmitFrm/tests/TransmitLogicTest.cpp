// What the Transmission window computes without a board: the register writes
// of a frame, the generated data, the period in ticks and the outcome.
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "AutoData.h"
#include "PeriodTicks.h"
#include "TransmitFrame.h"
#include "TransmitOutcome.h"
#include "TransmitSettings.h"

using namespace CanReg;
using Writes = std::vector<TRegisterWrite>;

inline void PrintTo(const TRegisterWrite& write, std::ostream* os) {
  *os << std::hex << "{0x" << int(write.address) << " p" << write.page << " = 0x" << int(write.value) << "}";
}

namespace {

TTransmitFrame Frame(std::uint16_t id, int length, bool remote = false) {
  TTransmitFrame frame;
  frame.id = id;
  frame.length = length;
  frame.remote = remote;
  frame.data = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17};
  return frame;
}

// The six writes that prepare buffer n, before its identifier.
Writes Preparation(int n) {
  return {{CSR, 0, 0x00}, {ISR, 0, 0x00}, {PSR, 0, std::uint8_t(n)},
          {BCSR, n, 0},   {CSR, 0, RUN},  {BCSR, n, BufferTransmits}};
}

Writes Concat(Writes a, const Writes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::uint64_t> Values(const TAutoData& data, int frames) {
  std::vector<std::uint64_t> values{data.Start()};
  while (static_cast<int>(values.size()) < frames) values.push_back(data.Next(values.back()));
  return values;
}

}  // namespace

TEST(TransmitFrame, WritesFollowTheLengthWithData7AlwaysLast) {
  // Length 3: Data0-Data2, then Data7 with 0; Data3-Data6 are not written.
  EXPECT_EQ(
      FrameWrites(Frame(0x123, 3), 2),
      Concat(Preparation(2),
             {{IDHR, 2, 0x24}, {IDLR, 2, 0x63}, {0x62, 2, 0x10}, {0x63, 2, 0x11}, {0x64, 2, 0x12}, {Data7, 2, 0x00}}));
  // Length 0: no data byte, Data7 still written with 0.
  EXPECT_EQ(FrameWrites(Frame(0x7FF, 0), 1),
            Concat(Preparation(1), {{IDHR, 1, 0xFF}, {IDLR, 1, 0xE0}, {Data7, 1, 0x00}}));
  // Length 8: all eight in order, Data7 last with byte 7.
  const Writes eight = FrameWrites(Frame(0x001, 8), 3);
  ASSERT_EQ(eight.size(), 6u + 2u + 8u);
  for (int k = 0; k < 8; ++k) {
    const TRegisterWrite& write = eight[std::size_t(8 + k)];
    EXPECT_EQ(write.address, Data0 + k);
    EXPECT_EQ(write.page, 3);
    EXPECT_EQ(write.value, 0x10 + k);
  }
}

TEST(TransmitFrame, RemoteFlagIdentifierAndLengthAreKeptInTheirFields) {
  // A remote frame: IDLR bit 4 set, and the data bytes up to its length still written.
  EXPECT_EQ(
      FrameWrites(Frame(0x005, 2, true), 1),
      Concat(Preparation(1), {{IDHR, 1, 0x00}, {IDLR, 1, 0xB2}, {0x62, 1, 0x10}, {0x63, 1, 0x11}, {Data7, 1, 0}}));
  // An identifier above 0x7FF loses its upper bits; a length above 8 sends 8.
  const Writes wide = FrameWrites(Frame(0xFFFF, 12), 1);
  EXPECT_EQ(wide[6], (TRegisterWrite{IDHR, 1, 0xFF}));
  EXPECT_EQ(wide[7], (TRegisterWrite{IDLR, 1, 0xE8}));
  EXPECT_EQ(wide.back(), (TRegisterWrite{Data7, 1, 0x17}));
}

TEST(TransmitFrame, FromBufferPage) {
  std::array<std::uint8_t, PageSize> page{};
  page[PageIndex(IDHR)] = 0x24;
  page[PageIndex(IDLR)] = 0x7F;  // identifier bits 2-0 = 3, remote, length code 15
  for (int k = 0; k < 8; ++k) page[std::size_t(PageIndex(Data0) + k)] = std::uint8_t(0xA0 + k);
  page[PageIndex(BCSR)] = 0xFF;
  const TTransmitFrame frame = TTransmitFrame::FromBufferPage(page);
  EXPECT_EQ(frame.id, 0x123);
  EXPECT_TRUE(frame.remote);
  EXPECT_EQ(frame.length, 8);  // a length code above 8 shows as 8
  EXPECT_EQ(frame.data, (std::array<std::uint8_t, 8>{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}));
}

TEST(AutoData, CounterRunsFromMinToMaxAndStartsAgain) {
  TAutoData counter{TAutoData::Mode::Counter, 0xFE, 0x100, 1};
  const std::vector<std::uint64_t> values = Values(counter, 7);
  EXPECT_EQ(values, (std::vector<std::uint64_t>{0xFE, 0xFF, 0x100, 0xFE, 0xFF, 0x100, 0xFE}));
  // With length 1 only byte 0 goes out: FE, FF, 00, FE ...
  EXPECT_EQ(TAutoData::Bytes(values[2])[0], 0x00);

  // The full 64-bit range wraps to 0 after the maximum and goes on.
  const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  TAutoData full{TAutoData::Mode::Counter, 0, max, 8};
  EXPECT_EQ(full.Next(max - 1), max);
  EXPECT_EQ(full.Next(max), 0u);
  EXPECT_EQ(full.Next(0), 1u);

  // CntMax at the top of the range: after it comes CntMin, not the 0 of the
  // wrapped sum, which lies below CntMin.
  TAutoData top{TAutoData::Mode::Counter, max, max, 8};
  EXPECT_EQ(Values(top, 3), (std::vector<std::uint64_t>{max, max, max}));
  TAutoData upper{TAutoData::Mode::Counter, 0x10, max, 8};
  EXPECT_EQ(upper.Next(max), 0x10u);
  // Bounds the wrong way round (only stored settings can give them): CntMin
  // is sent over and over.
  TAutoData reversed{TAutoData::Mode::Counter, 9, 3, 1};
  EXPECT_EQ(Values(reversed, 3), (std::vector<std::uint64_t>{9, 9, 9}));
}

TEST(AutoData, ShiftMovesOneBitWithinTheDataBytes) {
  EXPECT_EQ(Values({TAutoData::Mode::ShiftLeft, 0, 0, 1}, 10),
            (std::vector<std::uint64_t>{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x01, 0x02}));
  const std::vector<std::uint64_t> right = Values({TAutoData::Mode::ShiftRight, 0, 0, 2}, 18);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(right[std::size_t(k)], 0x8000u >> k) << k;
  EXPECT_EQ(right[16], 0x8000u);
  // Data0 carries the low byte, Data1 the high byte.
  EXPECT_EQ(TAutoData::Bytes(0x0100)[0], 0x00);
  EXPECT_EQ(TAutoData::Bytes(0x0100)[1], 0x01);

  // Eight bytes: bit 63 drops out to the left, and the right shift starts there.
  TAutoData left8{TAutoData::Mode::ShiftLeft, 0, 0, 8};
  EXPECT_EQ(left8.Next(std::uint64_t{1} << 63), 1u);
  TAutoData right8{TAutoData::Mode::ShiftRight, 0, 0, 8};
  EXPECT_EQ(right8.Start(), std::uint64_t{1} << 63);
  EXPECT_EQ(right8.Next(1), std::uint64_t{1} << 63);
}

// No data byte: no highest bit. The bit stays at 1 in both directions, so
// the frames go out (without data) and the value stays a single set bit.
TEST(AutoData, ShiftWithoutDataBytesStaysOnBitZero) {
  for (TAutoData::Mode mode : {TAutoData::Mode::ShiftLeft, TAutoData::Mode::ShiftRight}) {
    TAutoData none{mode, 0, 0, 0};
    EXPECT_EQ(none.Top(), 1u);
    EXPECT_EQ(Values(none, 3), (std::vector<std::uint64_t>{1, 1, 1}));
  }
}

TEST(AutoData, BytesAreLeastSignificantFirst) {
  EXPECT_EQ(TAutoData::Bytes(0x0123456789ABCDEF),
            (std::array<std::uint8_t, 8>{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}));
}

TEST(PeriodTicks, AFrameEveryTwoTicksPerSecondOfPeriod) {
  for (int period : {1, 3, 60}) {
    TPeriodTicks ticks;
    std::vector<int> due;
    for (int tick = 1; tick <= 4 * period; ++tick)
      if (ticks.Tick(period, 500)) due.push_back(tick);
    EXPECT_EQ(due, (std::vector<int>{2 * period, 4 * period})) << "period " << period;
  }
  // Stopped between two frames: counting starts again.
  TPeriodTicks ticks;
  EXPECT_FALSE(ticks.Tick(1, 500));
  ticks.Reset();
  EXPECT_FALSE(ticks.Tick(1, 500));
  EXPECT_TRUE(ticks.Tick(1, 500));
  EXPECT_EQ(ticks.Count(), 0);
  // An interval that does not divide the period: the first tick past it.
  EXPECT_FALSE(ticks.Tick(1, 700));
  EXPECT_TRUE(ticks.Tick(1, 700));
}

TEST(TransmitOutcome, JudgedFromTxifThenTeif) {
  EXPECT_EQ(TransmitOutcome::FromIsr(TXIF), "OK");
  EXPECT_EQ(TransmitOutcome::FromIsr(TXIF | TEIF | RXIF1), "OK");
  EXPECT_EQ(TransmitOutcome::FromIsr(TEIF | ORIF), "Transmission Error!");
  EXPECT_EQ(TransmitOutcome::FromIsr(0xFF & ~(TXIF | TEIF)), "Time Out!");

  using Fill = TransmitOutcome::Panel::Fill;
  const auto none = TransmitOutcome::PanelFor("");
  EXPECT_EQ(none.text, " ");
  EXPECT_EQ(none.fill, Fill::None);
  const auto ok = TransmitOutcome::PanelFor("OK");
  EXPECT_EQ(ok.text, "Transmission OK");
  EXPECT_EQ(ok.fill, Fill::Green);
  const auto lost = TransmitOutcome::PanelFor("Time Out!");
  EXPECT_EQ(lost.text, "ERROR: Time Out!");
  EXPECT_EQ(lost.fill, Fill::Red);
}

namespace {
// Settings as the settings store holds them: integers by name.
struct StoredValues {
  std::map<std::string, std::int32_t> values;
  std::vector<std::string> reads;
  TTransmitSettings::Reader Reader() {
    return [this](const char* name) -> std::optional<std::int32_t> {
      reads.push_back(name);
      const auto found = values.find(name);
      if (found == values.end()) return std::nullopt;
      return found->second;
    };
  }
  TTransmitSettings::Writer Writer() {
    return [this](const char* name, std::int32_t value) { values[name] = value; };
  }
};
}  // namespace

TEST(TransmitSettings, StoredValuesComeBackWithBothHalvesOfEachBound) {
  TTransmitSettings settings{false, true, 60, 3, false, 0x0123456789ABCDEF, 0xFFFFFFFFFFFFFFFF, true};
  StoredValues store;
  settings.Store(store.Writer());
  EXPECT_EQ(store.values.size(), 10u);
  EXPECT_EQ(store.values["CntMinHigh"], 0x01234567);
  EXPECT_EQ(store.values["CntMaxLow"], -1);  // a 32-bit integer value
  EXPECT_EQ(TTransmitSettings::Load(store.Reader()), settings);
}

TEST(TransmitSettings, LoadingStopsAtTheFirstMissingValue) {
  StoredValues store;
  TTransmitSettings{true, true, 5, 2, true, 7, 9, true}.Store(store.Writer());
  store.values.erase("CntMinLow");
  const TTransmitSettings loaded = TTransmitSettings::Load(store.Reader());
  EXPECT_EQ(loaded.buffNum, 2);
  EXPECT_EQ(loaded.counterMode, true);
  EXPECT_FALSE(loaded.cntMin);  // half a bound is no bound
  EXPECT_FALSE(loaded.cntMax);
  EXPECT_FALSE(loaded.shiftRight);
  EXPECT_EQ(store.reads, (std::vector<std::string>{"Automatic", "Periodic", "Period", "BuffNum", "CounterMode",
                                                   "CntMinHigh", "CntMinLow"}));

  // First start: nothing is stored, nothing is loaded.
  StoredValues none;
  EXPECT_EQ(TTransmitSettings::Load(none.Reader()), TTransmitSettings{});
  EXPECT_EQ(none.reads, std::vector<std::string>{"Automatic"});
}
