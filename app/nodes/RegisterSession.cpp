#include "RegisterSession.h"

#include "AppError.h"

TRegisterSession::TRegisterSession(TCANRegAccessThread& registers) : registers_(registers) {
  if (!registers_.Lock()) throw EShutdown();
  if (registers_.Terminated()) {
    registers_.Unlock();
    throw EShutdown();
  }
}

TRegisterSession::~TRegisterSession() {
  registers_.Unlock();
}

TCANRegAccessThread::MainImage TRegisterSession::MainRegisters() const {
  return registers_.GetMainRegisters();
}

TCANRegAccessThread::PageImage TRegisterSession::Page(int page) const {
  return registers_.GetPage(page);
}

void TRegisterSession::RefuseWhenStopping() const {
  if (registers_.Terminated()) throw EShutdown();
}

void TRegisterSession::Write(std::uint8_t address, int page, std::uint8_t value) {
  RefuseWhenStopping();
  registers_.WriteRegisterLocked(address, page, value);
}

void TRegisterSession::WriteAll(std::span<const TRegisterWrite> writes) {
  for (const TRegisterWrite& write : writes) Write(write.address, write.page, write.value);
}

void TRegisterSession::ReadCycle() {
  RefuseWhenStopping();
  const TCANRegAccessThread::ReadOutcome outcome =
      registers_.RunRead(TCANRegAccessThread::ReadScope::SelectedPage, false);
  if (!outcome.ran) throw EShutdown();
  if (!outcome.error.empty()) throw EReadFailed(outcome.error);
}

void TRegisterSession::ReadAll() {
  RefuseWhenStopping();
  const TCANRegAccessThread::ReadOutcome outcome = registers_.RunRead(TCANRegAccessThread::ReadScope::AllPages, false);
  if (!outcome.ran) throw EShutdown();
  if (!outcome.error.empty()) throw EReadFailed(outcome.error);
}
