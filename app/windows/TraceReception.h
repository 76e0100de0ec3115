// Finding a frame the CAN cell has received, for the Trace window's timer.
#pragma once

#include <optional>

#include "TraceLine.h"

class TCANRegAccessThread;

namespace TraceReception {

// The receive buffer whose RXIF flag is set in `isr`: buffer 1 (RXIF1) first,
// then 2 and 3; 0 when none is.
int PendingBuffer(std::uint8_t isr);

// Takes at most one received frame off the cell, in the GUI thread:
// 1. The register access thread's main image says whether an RXIF flag is
//    set; when none is, nothing is read or written.
// 2. Under the register lock: one polling pass reads ISR afresh, so that the
//    flags written back below are the cell's current ones and not those of an
//    earlier pass (a flag set since then would otherwise be written as 0 and
//    its frame lost). If that read fails, or no RXIF flag is set any more,
//    the lock is released and nothing is taken: the flag is handled again at
//    the next call.
// 3. Still under the lock: ISR is written with the chosen buffer's flag 0 and
//    the other bits as read, which clears that flag and frees the buffer on
//    the target, and every page is read again (ReadAll without taking the lock).
// 4. The lock is released, on every path, failure included.
// 5. The line comes from the buffer's fresh page image.
// Errors of the ISR write are thrown (EAppError); no line is taken then, and
// the flag, still set, is handled at the next call.
std::optional<TTraceLine> TakeFrame(TCANRegAccessThread& registers);

}  // namespace TraceReception
