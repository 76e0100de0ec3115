// The serial node library's description as a component server, and its
// string table.
#pragma once

#include "NodeTypeInfo.h"
#include "StringTable.h"

extern const ServerDescription kRS232Server;
extern const StringTable kRS232Strings;

// Messages of the serial node beyond the shared ones (StringTable.h).
enum : int {
  MSG_PARAMETER_NOT_CORRECT = 515,  // "Parameter is not correct."
  MSG_NOT_ALLOWED_CLOSED = 516,     // "Not allowed when comm port is closed."
  MSG_NO_CONTROL = 518,             // "Unable to find Microsoft communication control."
  MSG_CLOSE_FROM_RECEPTION = 519,   // Close called by a listener on the poll thread
};
