// The library's server description and its four exported entry points.
#include "TavarnelServer.h"

#include "Identities.h"
#include "ServerEntry.h"
#include "TavarnelNode.h"

namespace {

IUnknown* CreateTavarnelNode() {
  return static_cast<INode*>(new TavarnelNode);
}

const ServerDescription kTavarnelServer{
    CLSID_TavarnelNode,
    "TavarnelNode",
    "Tavarnel Class",
    "Tavarnel.Node.1",
    "Tavarnel.Node",
    "TavarnelNode Class",
    LIBID_TavarnelLib,
    "TavarnelLib",
    "Trivet : Qm MicroControlers to PC General Protocol 1.0",
    1,
    0,
    0x0409,
    APPID_Tavarnel,
    "Tavarnel",
    "Tavarnel.EXE",
    &CreateTavarnelNode,
};

}  // namespace

const ServerDescription& TavarnelServer() {
  return kTavarnelServer;
}

DEFINE_NODE_SERVER_ENTRY_POINTS(kTavarnelServer)
