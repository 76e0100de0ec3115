// The call sequences on the serial-port layer that connecting and port
// recovery share. Each stops at the first call that fails and returns its
// status; the layer has left its error object for the calling thread.
#pragma once

#include <cstdint>
#include <string>

#include "SerialPort.h"

// What the node hands the layer: its stored settings text and port number.
struct PortConfiguration {
  std::string settings;
  std::int16_t portNumber = 1;
};

// Break off, read the port handle, clear the port's event mask (result ignored).
HRESULT ResetLine(SerialPort& port);
// Read length 0, no flow control, both buffers discarded, binary input, then
// the settings text and the port number.
HRESULT ConfigurePort(SerialPort& port, const PortConfiguration& configuration);
// Line reset, open, line reset.
HRESULT OpenPort(SerialPort& port);
