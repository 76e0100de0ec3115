#include "TraceReception.h"

#include "RegisterLock.h"
#include "canregthread.h"

using namespace CanReg;

namespace TraceReception {

int PendingBuffer(std::uint8_t isr) {
  for (int buffer = 1; buffer <= 3; ++buffer)
    if (isr & RxFlag(buffer)) return buffer;
  return 0;
}

std::optional<TTraceLine> TakeFrame(TCANRegAccessThread& registers) {
  if (PendingBuffer(registers.GetMainRegisters()[MainIndex(ISR)]) == 0) return std::nullopt;

  int buffer = 0;
  {
    RegisterLockGuard guard(registers.registerLock());
    if (registers.Terminated()) return std::nullopt;
    registers.ReadCycle();  // re-entrant: takes the lock held here once more
    if (!registers.StatusText().empty()) return std::nullopt;  // shown by the pass itself
    const std::uint8_t isr = registers.GetMainRegisters()[MainIndex(ISR)];
    buffer = PendingBuffer(isr);
    if (buffer == 0) return std::nullopt;
    registers.WriteRegisterLocked(ISR, 0, static_cast<std::uint8_t>(isr & ~RxFlag(buffer)));
    registers.ReadAll(false);
  }
  return TTraceLine::FromBufferPage(registers.GetPage(buffer), buffer);
}

}  // namespace TraceReception
