// The outcome of the last frame the Transmission window sent, judged from
// the interrupt status register, and what its status panel shows of it.
#pragma once

#include <cstdint>
#include <string>

namespace TransmitOutcome {

// The status texts: none yet, or one of the three outcomes.
inline const std::string None;
inline const std::string Ok = "OK";
inline const std::string TransmissionError = "Transmission Error!";
inline const std::string TimeOut = "Time Out!";

// TXIF set: the frame went out and was acknowledged. Else TEIF set: the cell
// reported a transmit error. Else nothing has happened: the frame is taken as
// lost ("Time Out!").
const std::string& FromIsr(std::uint8_t isr);

// The status panel: blank without a status, "Transmission OK" on green for
// "OK", "ERROR: " and the status on red for any other status.
struct Panel {
  enum class Fill { None, Green, Red };
  std::string text;
  Fill fill = Fill::None;
};
Panel PanelFor(const std::string& status);

}  // namespace TransmitOutcome
