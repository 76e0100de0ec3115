// Line errors as the serial-port layer reports them: the counters the driver
// keeps, a seam that reads them (tests put in their own), and the event codes
// that the layer's last event code takes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

// Event codes. 1000 and above are communication errors: the poll thread then
// reopens the port.
enum : std::int16_t {
  kEventNone = 0,
  kEventBreak = 1001,
  kEventFraming = 1004,
  kEventOverrun = 1006,
  kEventReceiveOverflow = 1008,
  kEventParity = 1009,
  // Our own: the device has gone away (hang-up, EIO: a USB adapter unplugged)
  // or cannot be opened again yet.
  kEventDeviceGone = 1100,
};
constexpr bool IsCommunicationError(std::int16_t code) {
  return code >= 1000;
}

struct LineErrorCounters {
  std::uint32_t breaks = 0;
  std::uint32_t framing = 0;
  std::uint32_t overruns = 0;
  std::uint32_t receiveOverflows = 0;  // the driver's own buffer overflowed
  std::uint32_t parity = 0;
};

// The event code for what changed between two readings of the counters
// (break, framing, overrun, overflow, parity: the first that grew), or kEventNone.
std::int16_t LineEventCode(const LineErrorCounters& before, const LineErrorCounters& after);

// Reads a port's line error counters. Called by the serial-port layer under
// its caller's port lock; an implementation needs no lock of its own unless a
// test changes its values from another thread.
class LineStatusSource {
 public:
  virtual ~LineStatusSource() = default;
  // Nothing when the driver does not count line errors (ptys answer ENOTTY).
  virtual std::optional<LineErrorCounters> Read(int descriptor) = 0;
};

// The driver's counters (TIOCGICOUNT).
std::shared_ptr<LineStatusSource> KernelLineStatus();
