// Register files (.rgr): a snapshot of every CAN register the program keeps
// an image of, and the writes that put such a snapshot back into the cell.
//
//   [Main]      HighByte=5,  Byte0..Byte5:  ISR, ICR, CSR, BRPR, BTR, PSR
//   [Diag]      HighByte=15, Byte0..Byte15: page 0 (0x60 + i)
//   [Buffer1]   ...          page 1
//   [Buffer2]   ...          page 2
//   [Buffer3]   ...          page 3
//   [Filters]   ...          page 4
//
// In each section "HighByte" is the index of its last "Byte" key. Values are
// decimal integers; a reader also takes "0x"/"0X" hexadecimal, and a missing
// or unreadable value reads as 0.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "CanRegisterMap.h"

class ProfileFile;

// The register images the program keeps: the main image (ISR, ICR, CSR, BRPR,
// BTR, PSR) and the five page images, byte i of a page being the register at
// 0x60 + i of that page.
struct RegisterSnapshot {
  using MainImage = std::array<std::uint8_t, CanReg::MainCount>;
  using PageImage = std::array<std::uint8_t, CanReg::PageSize>;

  MainImage main{};
  std::array<PageImage, CanReg::PageCount> pages{};

  bool operator==(const RegisterSnapshot&) const = default;
};

// One register write as the register access thread makes it: a paged
// register (0x60-0x6F) goes out after a write of its page to PSR; for a main
// register (0x5A-0x5F) the page is 0 and unused.
struct RegisterWrite {
  std::uint8_t address = 0;
  std::uint8_t page = 0;
  std::uint8_t value = 0;

  bool paged() const { return address >= CanReg::PageBase; }
  bool operator==(const RegisterWrite&) const = default;
};

namespace RegisterFile {

// The text status panel 1 shows while a load holds the registers.
inline constexpr char kLoadingText[] = "Loading... Please Wait";

// Writes the snapshot's six sections into the file (in memory; the caller
// saves it): "HighByte" first, then "Byte0" onwards, each section in the
// order above. A new file gets them in that order; an existing one has these
// keys rewritten in place and keeps every other line.
void writeSnapshot(ProfileFile& file, const RegisterSnapshot& snapshot);

// The register writes that load the file, in order:
//  1. stop and reset the cell: CSR 0, ISR 0, ICR 0, CSR 1, CSR 0;
//  2. "Main": for i from 0 to the low 8 bits of its "HighByte", register
//     0x5A + i from "Byte" i, except i = 2 (CSR, written last);
//  3. "Diag", "Buffer1", "Buffer2", "Buffer3", "Filters" (pages 0 to 4): for
//     i from 0 to the low 8 bits of the section's "HighByte", register 0x60 + i
//     of that page from "Byte" i;
//  4. CSR from "Byte2" of "Main", so that the cell starts again only when
//     everything else is in place.
// Values are the low 8 bits of what the file holds. A missing section or key
// reads as 0, so any file, even one that is not a register file, gives a plan.
// An index whose address would pass 0x6F writes nothing: a "HighByte" of 255
// never wraps round to the main registers.
std::vector<RegisterWrite> loadPlan(const ProfileFile& file);

// One-byte writes the plan puts on the line: two for a paged register (PSR,
// then the register), one for a main register. A complete load costs 171.
int lineWrites(const std::vector<RegisterWrite>& plan);

}  // namespace RegisterFile
