#include "LineStatus.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace {

class KernelCounters final : public LineStatusSource {
 public:
  std::optional<LineErrorCounters> Read(int descriptor) override {
    serial_icounter_struct counts{};
    // ENOTTY/EINVAL (no counters) and EIO (device gone, found by other means)
    // alike mean "nothing to report" here.
    if (ioctl(descriptor, TIOCGICOUNT, &counts) != 0) return std::nullopt;
    LineErrorCounters result;
    result.breaks = static_cast<std::uint32_t>(counts.brk);
    result.framing = static_cast<std::uint32_t>(counts.frame);
    result.overruns = static_cast<std::uint32_t>(counts.overrun);
    result.receiveOverflows = static_cast<std::uint32_t>(counts.buf_overrun);
    result.parity = static_cast<std::uint32_t>(counts.parity);
    return result;
  }
};

}  // namespace

std::int16_t LineEventCode(const LineErrorCounters& before, const LineErrorCounters& after) {
  if (after.breaks != before.breaks) return kEventBreak;
  if (after.framing != before.framing) return kEventFraming;
  if (after.overruns != before.overruns) return kEventOverrun;
  if (after.receiveOverflows != before.receiveOverflows) return kEventReceiveOverflow;
  if (after.parity != before.parity) return kEventParity;
  return kEventNone;
}

std::shared_ptr<LineStatusSource> KernelLineStatus() {
  static const std::shared_ptr<LineStatusSource> source = std::make_shared<KernelCounters>();
  return source;
}
