#include "FilterRegisters.h"

#include <gtest/gtest.h>

#include "CanRegisterMap.h"

namespace {

using namespace FilterRegisters;
using Registers = std::array<std::uint8_t, 4>;

TEST(FilterRegisters, EncodesIdentifierMaskAndFrameKind) {
  EXPECT_EQ(Encode({0x123, 0x7FF, FrameKind::Data}), (Registers{0x24, 0x60, 0xFF, 0xF0}));
  EXPECT_EQ(Encode({0x123, 0x7F0, FrameKind::Remote}), (Registers{0x24, 0x70, 0xFE, 0x10}));
  EXPECT_EQ(Encode({0x123, 0x7F0, FrameKind::Both}), (Registers{0x24, 0x60, 0xFE, 0x00}));
  // Nothing chosen (a window opened without a link) goes out as Data.
  EXPECT_EQ(Encode({0x000, 0x000, FrameKind::None}), (Registers{0x00, 0x00, 0x00, 0x10}));
  // Only 11 bits reach the registers.
  EXPECT_EQ(Encode({0xFFFF, 0x0FFF, FrameKind::Data}), Encode({0x7FF, 0x7FF, FrameKind::Data}));
}

TEST(FilterRegisters, AllIdsClearsTheMaskAndAcceptsBothKinds) {
  const FilterSetting all = AcceptingAll({0x123, 0x7FF, FrameKind::Remote});
  EXPECT_EQ(all, (FilterSetting{0x123, 0, FrameKind::Both}));
  const Registers r = Encode(all);
  EXPECT_EQ(r[2], 0x00);                     // MHR
  EXPECT_EQ(r[3] & CanReg::RemoteFrame, 0);  // MLR bit 4: kind need not match
}

TEST(FilterRegisters, DecodingGivesBackWhatWasEncoded) {
  for (FrameKind kind : {FrameKind::Data, FrameKind::Remote, FrameKind::Both}) {
    for (std::uint16_t id : {0x000, 0x001, 0x123, 0x400, 0x7FF}) {
      for (std::uint16_t mask : {0x000, 0x007, 0x7F0, 0x7FF}) {
        const FilterSetting f{id, mask, kind};
        ASSERT_EQ(Decode(Encode(f)), f);
      }
    }
  }
  EXPECT_EQ(Decode(Encode({0x55, 0x66, FrameKind::None})).kind, FrameKind::Data);
}

TEST(FilterRegisters, DecodesTheFrameKindFromBit4OfBothLowRegisters) {
  // MLR bit 4 clear: both kinds, whatever FLR says.
  EXPECT_EQ(Decode({0, 0x10, 0, 0x00}).kind, FrameKind::Both);
  EXPECT_EQ(Decode({0, 0x10, 0, 0x10}).kind, FrameKind::Remote);
  EXPECT_EQ(Decode({0, 0x00, 0, 0x10}).kind, FrameKind::Data);
  // The simulator's power-on filters: every standard frame.
  EXPECT_EQ(Decode({0, 0, 0, 0}), (FilterSetting{0, 0, FrameKind::Both}));
  // Bits 3-0 of the low registers are not part of the identifier.
  EXPECT_EQ(Decode({0xFF, 0xEF, 0x12, 0x5F}), (FilterSetting{0x7FF, 0x92, FrameKind::Data}));
}

TEST(FilterRegisters, WritesEachLowRegisterBeforeItsHighOne) {
  const auto writes = WritesFor({0x123, 0x7FF, FrameKind::Data}, {0x7FF, 0x000, FrameKind::Both});
  const std::array<RegisterWrite, 8> expected{{{CanReg::FLR0, 0x60},
                                               {CanReg::FHR0, 0x24},
                                               {CanReg::MLR0, 0xF0},
                                               {CanReg::MHR0, 0xFF},
                                               {CanReg::FLR1, 0xE0},
                                               {CanReg::FHR1, 0xFF},
                                               {CanReg::MLR1, 0x00},
                                               {CanReg::MHR1, 0x00}}};
  EXPECT_EQ(writes, expected);
}

}  // namespace
