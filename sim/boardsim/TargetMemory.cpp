#include "boardsim/TargetMemory.h"

namespace boardsim {

TargetMemory::TargetMemory() : ram_(0x10000, 0) {}

uint8_t TargetMemory::read(uint16_t address) const {
  return inCell(address) ? cell_.read(address) : ram_[address];
}

void TargetMemory::write(uint16_t address, uint8_t value) {
  if (inCell(address))
    cell_.write(address, value);
  else
    ram_[address] = value;
}

std::vector<uint8_t> TargetMemory::read(uint16_t address, std::size_t count) const {
  std::vector<uint8_t> bytes;
  bytes.reserve(count);
  for (std::size_t i = 0; i < count; ++i) bytes.push_back(read(uint16_t(address + i)));
  return bytes;
}

void TargetMemory::write(uint16_t address, const std::vector<uint8_t>& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) write(uint16_t(address + i), bytes[i]);
}

}  // namespace boardsim
