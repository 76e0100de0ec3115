#include "RegisterSession.h"

#include "AppError.h"
#include "canregthread.h"

TRegisterImages::MainImage TRegisterSession::MainRegisters() const {
  return registers_.GetMainRegisters();
}

TRegisterImages::PageImage TRegisterSession::Page(int page) const {
  return registers_.GetPage(page);
}

void TRegisterSession::Write(std::uint8_t address, int page, std::uint8_t value) {
  registers_.WriteRegisterLocked(address, page, value);
  ++writesDone_;
}

void TRegisterSession::WriteAll(std::span<const TRegisterWrite> writes) {
  for (const TRegisterWrite& write : writes) Write(write.address, write.page, write.value);
}

void TRegisterSession::ReadCycle() {
  const TCANRegAccessThread::ReadOutcome outcome = registers_.RunRead(TCANRegAccessThread::ReadScope::SelectedPage);
  if (!outcome.ran) throw EShutdown();
  if (!outcome.error.empty()) throw EReadFailed(outcome.error);
}

void TRegisterSession::ReadAll() {
  const TCANRegAccessThread::ReadOutcome outcome = registers_.RunRead(TCANRegAccessThread::ReadScope::AllPages);
  if (!outcome.ran) throw EShutdown();
  if (!outcome.error.empty()) throw EReadFailed(outcome.error);
}
