#include "TavarnelStrings.h"

const StringTable& TavarnelStrings() {
  static const StringTable table{
      {MSG_BAD_PROPERTY_NAME, "Bad property name: %s"},
      {MSG_NOT_ALLOWED_OPEN, "Not allowed when comm port is open."},
      {MSG_BAD_INDEX, "Bad index value: %i"},
      {MSG_TIME_OUT, "Time out..."},
      {MSG_BAD_PARAMETER, "At least one parameter is badly formatted."},
      {MSG_NODE_CLOSED, "Not allowed when the node is closed."},
      {MSG_CHANNEL_UNKNOWN, "Channel %i is not allocated."},
      {MSG_NO_FREE_CHANNEL, "No free channel."},
  };
  return table;
}
