// The register file's load plan (RegisterFile::loadPlan): the writes a
// register file opened from the file manager puts on the line, whatever the
// file holds.
//
// Input: the file's bytes.
//
// Broken when: the plan is not, write for write, the one the register file's
// format gives (RegisterFile.h), worked out here from the values the file
// reads: stop and reset the cell; "Main" from register 0x5A up to its
// HighByte, CSR left out; each page's section from 0x60 up to its HighByte;
// CSR last; never an address past 0x6F; values the low bytes of the file's.
#include "CanRegisterMap.h"
#include "ProfileFile.h"
#include "ProfileFuzzSupport.h"
#include "RegisterFile.h"

namespace {

const char* const kSections[] = {"Main", "Diag", "Buffer1", "Buffer2", "Buffer3", "Filters"};

std::vector<TRegisterWrite> ExpectedPlan(const TProfileFile& file) {
  const auto byteOf = [&file](int section, const QString& key) {
    return static_cast<std::uint8_t>(file.readInt(kSections[section], key, 0));
  };
  std::vector<TRegisterWrite> plan{
      {CanReg::CSR, 0, 0}, {CanReg::ISR, 0, 0}, {CanReg::ICR, 0, 0}, {CanReg::CSR, 0, 1}, {CanReg::CSR, 0, 0}};
  for (int section = 0; section < 6; ++section) {
    const int base = section == 0 ? 0x5A : 0x60;
    const int last = byteOf(section, QStringLiteral("HighByte"));
    for (int i = 0; i <= last && base + i <= 0x6F; ++i)
      if (section > 0 || base + i != CanReg::CSR)
        plan.push_back({static_cast<std::uint8_t>(base + i), section == 0 ? 0 : section - 1,
                        byteOf(section, QStringLiteral("Byte%1").arg(i))});
  }
  plan.push_back({CanReg::CSR, 0, byteOf(0, QStringLiteral("Byte2"))});
  return plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QString path = fuzz::ScratchFile("plan.rgr");
  fuzz::WriteFile(path, QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  const TProfileFile file(path);
  const std::vector<TRegisterWrite> plan = RegisterFile::loadPlan(file);
  FUZZ_CHECK(plan == ExpectedPlan(file), "the plan is the one the format gives");
  return 0;
}
