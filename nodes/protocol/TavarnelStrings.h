// The protocol node library's message texts, by number.
#pragma once

#include "StringTable.h"

enum : int {
  MSG_TIME_OUT = 515,         // "Time out..."
  MSG_BAD_PARAMETER = 516,    // "At least one parameter is badly formatted."
  MSG_NODE_CLOSED = 517,      // "Not allowed when the node is closed."
  MSG_CHANNEL_UNKNOWN = 518,  // "Channel %i is not allocated."
  MSG_NO_FREE_CHANNEL = 519,  // "No free channel."
};

const StringTable& TavarnelStrings();
