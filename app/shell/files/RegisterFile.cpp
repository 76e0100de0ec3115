#include "RegisterFile.h"

#include <QFileInfo>
#include <QString>

#include "AppError.h"
#include "ProfileFile.h"
#include "ToolWindowHost.h"
#include "canregthread.h"

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
void writeSection(TProfileFile& file, const QString& section, const std::array<std::uint8_t, N>& bytes) {
  file.writeInt(section, kHighByte, static_cast<int>(N) - 1);
  for (std::size_t i = 0; i < N; ++i) file.writeInt(section, byteKey(static_cast<int>(i)), bytes[i]);
}

// Every value of a register file is kept to its low 8 bits: "-1" is 255, "999" is 231.
std::uint8_t lowByte(const TProfileFile& file, const QString& section, const QString& key) {
  return static_cast<std::uint8_t>(file.readInt(section, key, 0) & 0xFF);
}

[[noreturn]] void refuse(const QString& message) {
  throw EAppError(message.toStdString());
}

// The file to load, read whole before anything reaches the board. A file
// that is not there or cannot be read loads nothing: a load of zeros would
// stop the cell and wipe its setup for a file that was never seen.
TProfileFile readFileToLoad(const QString& path) {
  const QFileInfo info(path);
  const QString cannotOpen = QStringLiteral("Unable to open %1: ").arg(path);
  if (!info.exists()) refuse(cannotOpen + QStringLiteral("no such file"));
  if (info.isDir()) refuse(cannotOpen + QStringLiteral("it is a folder"));
  TProfileFile file(path);
  if (!file.loadError().isEmpty()) refuse(cannotOpen + file.loadError());
  return file;
}

void writeFile(const QString& path, const RegisterSnapshot& snapshot) {
  TProfileFile file(path);
  writeSnapshot(file, snapshot);
  file.save();
}

}  // namespace

void Load(IToolWindowHost& host, const QString& path, std::function<void()> ended) {
  std::vector<TRegisterWrite> plan = loadPlan(readFileToLoad(path));
  TCANRegAccessThread* registers = host.RegisterThread();
  if (!registers) refuse(QStringLiteral("No link to the board: the register values were not loaded"));

  host.ShowProgress(QString::fromLatin1(kLoadingText));
  // Not connected: the first write fails on the closed line, and says so.
  registers->Submit({std::move(plan), TRegisterJob::Read::None}, registers,
                    [&host, ended = std::move(ended)](const TRegisterJobOutcome& outcome) {
                      host.ShowProgress(QString());
                      if (!outcome.error.empty()) host.ShowError(QString::fromStdString(outcome.error));
                      if (ended) ended();
                    });
}

void Save(IToolWindowHost& host, const QString& path, std::function<void()> ended) {
  TCANRegAccessThread* registers = host.RegisterThread();
  if (!registers) refuse(QStringLiteral("No register values to save: the program has no link to the board"));

  if (!host.Connected()) {
    // The read cannot reach the board: the file receives the images read last.
    writeFile(path, registers->Images());
    if (ended) ended();
    return;
  }
  registers->Submit(
      {{}, TRegisterJob::Read::All}, registers,
      [&host, path, ended = std::move(ended)](const TRegisterJobOutcome& outcome) {
        // A snapshot of half-fresh images would pass for the board's state.
        try {
          if (outcome.result == TRegisterJobOutcome::Result::ReadFailed)
            refuse(
                QStringLiteral("Register values not saved to %1: %2").arg(path, QString::fromStdString(outcome.error)));
          if (outcome.ok()) writeFile(path, outcome.images);
        } catch (const std::exception& e) {
          host.ShowError(QString::fromUtf8(e.what()));
        }
        if (ended) ended();
      });
}

void writeSnapshot(TProfileFile& file, const RegisterSnapshot& snapshot) {
  writeSection(file, kMain, snapshot.main);
  for (int page = 0; page < CanReg::PageCount; ++page) writeSection(file, kPageSections[page], snapshot.pages[page]);
}

std::vector<TRegisterWrite> loadPlan(const TProfileFile& file) {
  std::vector<TRegisterWrite> plan = {
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
      plan.push_back({static_cast<std::uint8_t>(CanReg::PageBase + i), page, lowByte(file, section, byteKey(i))});
  }

  plan.push_back({CanReg::CSR, 0, csr});
  return plan;
}

int lineWrites(const std::vector<TRegisterWrite>& plan) {
  int writes = 0;
  for (const TRegisterWrite& write : plan) writes += write.address >= CanReg::PageBase ? 2 : 1;
  return writes;
}

}  // namespace RegisterFile
