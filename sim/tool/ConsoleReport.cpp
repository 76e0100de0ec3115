#include "ConsoleReport.h"

#include <cstdio>

namespace boardsim::tool {

namespace {
std::string frameText(const CanFrame& frame) {
  char buf[32];
  std::snprintf(buf, sizeof buf, frame.extended ? "%08X [%u]" : "%03X [%u]", unsigned(frame.id), unsigned(frame.dlc));
  std::string text = buf;
  if (frame.remote) return text + " remote";
  for (std::size_t i = 0; i < frame.dataLength(); ++i) {
    std::snprintf(buf, sizeof buf, " %02X", frame.data[i]);
    text += buf;
  }
  return text;
}
}  // namespace

std::string describe(const BoardSimulator::BusEvent& event) {
  using Reception = CanCell::Reception;
  if (event.kind == BoardSimulator::BusEvent::Kind::Transmitted)
    return "tx " + frameText(event.frame) + " from buffer " + std::to_string(event.buffer) +
           (event.acknowledged ? ": acknowledged" : ": not acknowledged");
  std::string text = "rx " + frameText(event.frame) + " -> ";
  const auto& r = event.reception;
  switch (r.outcome) {
    case Reception::Stored:
      return text + "buffer " + std::to_string(r.buffer) + " (filter " + std::to_string(r.filter) + ")";
    case Reception::Overrun:
      return text + "overrun: no free receive buffer";
    case Reception::Rejected:
      return text + "not accepted by the filters";
    case Reception::NotRunning:
      return text + "ignored: the cell is stopped (CSR RUN = 0)";
    case Reception::NotStandard:
      return text + "ignored: extended identifier";
  }
  return text;
}

}  // namespace boardsim::tool
