#pragma once

#include "boardsim/CanCell.h"

#include <cstdint>
#include <vector>

namespace boardsim {

// The target's 64 KiB address space as the monitor sees it: plain RAM
// (zero at power-on) with the CAN cell's registers mapped over 0x5A-0x6F.
// Block accesses go byte by byte in address order and wrap from 0xFFFF to
// 0x0000, like the target's 16-bit pointer. Not thread-safe (see CanCell).
class TargetMemory {
 public:
  TargetMemory();

  uint8_t read(uint16_t address) const;
  void write(uint16_t address, uint8_t value);
  std::vector<uint8_t> read(uint16_t address, std::size_t count) const;
  void write(uint16_t address, const std::vector<uint8_t>& bytes);

  CanCell& cell() { return cell_; }
  const CanCell& cell() const { return cell_; }

 private:
  static bool inCell(uint16_t address) { return address >= CanCell::kFirstAddress && address <= CanCell::kLastAddress; }
  std::vector<uint8_t> ram_;
  CanCell cell_;
};

}  // namespace boardsim
