#include "FilterRegisters.h"

#include "CanRegisterMap.h"

namespace FilterRegisters {

std::array<std::uint8_t, 4> Encode(const FilterSetting& f) {
  const std::uint16_t id = f.id & CanReg::MaxIdentifier;
  const std::uint16_t mask = f.mask & CanReg::MaxIdentifier;
  const std::uint8_t remote = f.kind == FrameKind::Remote ? CanReg::RemoteFrame : 0;
  const std::uint8_t kindMustMatch = f.kind == FrameKind::Both ? 0 : CanReg::RemoteFrame;
  return {CanReg::IdentifierHigh(id), CanReg::IdentifierLow(id, remote), CanReg::IdentifierHigh(mask),
          CanReg::IdentifierLow(mask, kindMustMatch)};
}

FilterSetting Decode(const std::array<std::uint8_t, 4>& registers) {
  FilterSetting f;
  f.id = CanReg::Identifier(registers[0], registers[1]);
  f.mask = CanReg::Identifier(registers[2], registers[3]);
  if (!(registers[3] & CanReg::RemoteFrame)) {
    f.kind = FrameKind::Both;
  } else {
    f.kind = (registers[1] & CanReg::RemoteFrame) ? FrameKind::Remote : FrameKind::Data;
  }
  return f;
}

std::array<RegisterWrite, 8> WritesFor(const FilterSetting& filter0, const FilterSetting& filter1) {
  std::array<RegisterWrite, 8> writes{};
  int next = 0;
  for (int n = 0; n < 2; ++n) {
    const auto r = Encode(n == 0 ? filter0 : filter1);
    // FLR, FHR, MLR, MHR: each low register before its high one.
    for (int offset : {1, 0, 3, 2}) writes[next++] = {CanReg::FilterRegister(n, offset), r[offset]};
  }
  return writes;
}

}  // namespace FilterRegisters
