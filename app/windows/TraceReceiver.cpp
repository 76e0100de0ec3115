#include "TraceReceiver.h"

#include <algorithm>

#include "RegisterLock.h"
#include "canregthread.h"

using namespace CanReg;

namespace {
constexpr std::uint8_t kReceiveFlags = RXIF1 | RXIF2 | RXIF3;

std::uint8_t ReadIsr(const TCANRegAccessThread& registers) {
  return registers.GetMainRegisters()[MainIndex(ISR)];
}
}  // namespace

void TTraceReceiver::Observe(std::uint8_t isr) {
  // A flag cleared by someone else (a window writing ISR) takes its buffer out.
  std::erase_if(pending_, [isr](int buffer) { return !(isr & RxFlag(buffer)); });
  for (int buffer = 1; buffer <= 3; ++buffer)
    if ((isr & RxFlag(buffer)) && std::find(pending_.begin(), pending_.end(), buffer) == pending_.end())
      pending_.push_back(buffer);
}

std::optional<TTraceLine> TTraceReceiver::TakeFrame(TCANRegAccessThread& registers) {
  if (!(ReadIsr(registers) & kReceiveFlags)) return std::nullopt;

  RegisterLockGuard guard(registers.registerLock());
  if (registers.Terminated()) return std::nullopt;
  registers.ReadAll(false);
  if (!registers.StatusText().empty()) return std::nullopt;  // shown by the read itself
  Observe(ReadIsr(registers));
  if (pending_.empty()) return std::nullopt;
  const int buffer = pending_.front();
  TTraceLine line = TTraceLine::FromBufferPage(registers.GetPage(buffer), buffer);

  registers.ReadCycle();  // re-entrant: takes the lock held here once more
  if (!registers.StatusText().empty()) return std::nullopt;
  const std::uint8_t isr = ReadIsr(registers);
  Observe(isr);
  if (pending_.empty() || pending_.front() != buffer) return std::nullopt;  // its flag was cleared meanwhile
  registers.WriteRegisterLocked(ISR, 0, static_cast<std::uint8_t>(isr & ~RxFlag(buffer)));
  pending_.pop_front();
  return line;
}
