#include "TransmitOutcome.h"

#include "CanRegisterMap.h"

namespace TransmitOutcome {

const std::string& FromIsr(std::uint8_t isr) {
  if (isr & CanReg::TXIF) return Ok;
  if (isr & CanReg::TEIF) return TransmissionError;
  return TimeOut;
}

Panel PanelFor(const std::string& status) {
  if (status.empty()) return {" ", Panel::Fill::None};
  if (status == Ok) return {"Transmission OK", Panel::Fill::Green};
  return {"ERROR: " + status, Panel::Fill::Red};
}

}  // namespace TransmitOutcome
