#include "RegisterFile.h"

#include <QString>

#include "ProfileFile.h"

namespace RegisterFile {

namespace {

const QString kMain = QStringLiteral("Main");
const QString kHighByte = QStringLiteral("HighByte");

// The page sections in file order, which is also the order a load writes
// them: section k holds page k.
const std::array<QString, CanReg::PageCount> kPageSections = {
    QStringLiteral("Diag"),    QStringLiteral("Buffer1"), QStringLiteral("Buffer2"),
    QStringLiteral("Buffer3"), QStringLiteral("Filters"),
};

constexpr int kCsrIndex = CanReg::MainIndex(CanReg::CSR);

QString byteKey(int index) {
  return QStringLiteral("Byte") + QString::number(index);
}

template <std::size_t N>
void writeSection(ProfileFile& file, const QString& section, const std::array<std::uint8_t, N>& bytes) {
  file.writeInt(section, kHighByte, static_cast<int>(N) - 1);
  for (std::size_t i = 0; i < N; ++i) file.writeInt(section, byteKey(static_cast<int>(i)), bytes[i]);
}

// Every value of a register file is kept to its low 8 bits: "-1" is 255, "999" is 231.
std::uint8_t lowByte(const ProfileFile& file, const QString& section, const QString& key) {
  return static_cast<std::uint8_t>(file.readInt(section, key, 0) & 0xFF);
}

}  // namespace

void writeSnapshot(ProfileFile& file, const RegisterSnapshot& snapshot) {
  writeSection(file, kMain, snapshot.main);
  for (int page = 0; page < CanReg::PageCount; ++page) writeSection(file, kPageSections[page], snapshot.pages[page]);
}

std::vector<RegisterWrite> loadPlan(const ProfileFile& file) {
  std::vector<RegisterWrite> plan = {
      {CanReg::CSR, 0, 0}, {CanReg::ISR, 0, 0}, {CanReg::ICR, 0, 0}, {CanReg::CSR, 0, 1}, {CanReg::CSR, 0, 0},
  };

  const std::uint8_t csr = lowByte(file, kMain, byteKey(kCsrIndex));
  const int mainLast = lowByte(file, kMain, kHighByte);
  for (int i = 0; i <= mainLast && CanReg::First + i <= CanReg::Last; ++i) {
    if (i == kCsrIndex) continue;
    plan.push_back({static_cast<std::uint8_t>(CanReg::First + i), 0, lowByte(file, kMain, byteKey(i))});
  }

  for (int page = 0; page < CanReg::PageCount; ++page) {
    const QString& section = kPageSections[page];
    const int last = lowByte(file, section, kHighByte);
    for (int i = 0; i <= last && CanReg::PageBase + i <= CanReg::Last; ++i)
      plan.push_back({static_cast<std::uint8_t>(CanReg::PageBase + i), static_cast<std::uint8_t>(page),
                      lowByte(file, section, byteKey(i))});
  }

  plan.push_back({CanReg::CSR, 0, csr});
  return plan;
}

int lineWrites(const std::vector<RegisterWrite>& plan) {
  int writes = 0;
  for (const RegisterWrite& write : plan) writes += write.paged() ? 2 : 1;
  return writes;
}

}  // namespace RegisterFile
