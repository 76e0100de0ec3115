#include "TransmitSettings.h"

namespace {

std::uint64_t Join(std::int32_t high, std::int32_t low) {
  return std::uint64_t{static_cast<std::uint32_t>(high)} << 32 | static_cast<std::uint32_t>(low);
}

std::int32_t High(std::uint64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value >> 32));
}

std::int32_t Low(std::uint64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::optional<std::uint64_t> ReadBound(const TTransmitSettings::Reader& read, const char* high, const char* low) {
  const std::optional<std::int32_t> upper = read(high);
  if (!upper) return std::nullopt;
  const std::optional<std::int32_t> lower = read(low);
  if (!lower) return std::nullopt;
  return Join(*upper, *lower);
}

}  // namespace

TTransmitSettings TTransmitSettings::Load(const Reader& read) {
  TTransmitSettings settings;
  const auto flag = [&read](const char* name) -> std::optional<bool> {
    if (const std::optional<std::int32_t> value = read(name)) return *value != 0;
    return std::nullopt;
  };
  if (!(settings.automatic = flag("Automatic"))) return settings;
  if (!(settings.periodic = flag("Periodic"))) return settings;
  if (!(settings.period = read("Period"))) return settings;
  if (!(settings.buffNum = read("BuffNum"))) return settings;
  if (!(settings.counterMode = flag("CounterMode"))) return settings;
  if (!(settings.cntMin = ReadBound(read, "CntMinHigh", "CntMinLow"))) return settings;
  if (!(settings.cntMax = ReadBound(read, "CntMaxHigh", "CntMaxLow"))) return settings;
  settings.shiftRight = flag("ShiftRight");
  return settings;
}

void TTransmitSettings::Store(const Writer& write) const {
  write("Automatic", automatic.value() ? 1 : 0);
  write("Periodic", periodic.value() ? 1 : 0);
  write("Period", period.value());
  write("BuffNum", buffNum.value());
  write("CounterMode", counterMode.value() ? 1 : 0);
  write("CntMinHigh", High(cntMin.value()));
  write("CntMinLow", Low(cntMin.value()));
  write("CntMaxHigh", High(cntMax.value()));
  write("CntMaxLow", Low(cntMax.value()));
  write("ShiftRight", shiftRight.value() ? 1 : 0);
}
