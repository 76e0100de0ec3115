#include "RS232Server.h"

#include "Identities.h"
#include "RS232Node.h"
#include "ServerEntry.h"

namespace {

IUnknown* CreateRS232Node() {
  return static_cast<INode*>(new RS232Node);
}

}  // namespace

const StringTable kRS232Strings{
    {512, "Bad property name: %s"},
    {513, "Not allowed when comm port is open."},
    {514, "Bad index value: %i"},
    {515, "Parameter is not correct."},
    {516, "Not allowed when comm port is closed."},
    {518, "Unable to find Microsoft communication control."},
    {519, "Close is not allowed from inside OnReception of the same node."},
};

const ServerDescription kRS232Server{CLSID_RS232Node,
                                     "RS232Node",
                                     "RS232Node Class",
                                     "RS232.Node.1",
                                     "RS232.Node",
                                     "RS232Node Class",
                                     LIBID_RS232Lib,
                                     "RS232Lib",
                                     "Trivet : RS232 1.0",
                                     1,
                                     0,
                                     0x0409,
                                     APPID_RS232,
                                     "Trivet : RS232",
                                     nullptr,
                                     &CreateRS232Node};

DEFINE_NODE_SERVER_ENTRY_POINTS(kRS232Server)
