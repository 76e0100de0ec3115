// A stand-in for the serial node, registered under the serial node's class
// identity in a test's private registry: it refuses a "Settings" text that
// does not start with a digit, as a stricter serial node would, and opens
// without any device; nobody answers what it transmits. The main window's
// tests use it for a property that a node rejects at start-up.
#include "Identities.h"
#include "ServerEntry.h"
#include "testing/StubNode.h"

namespace {

const StringTable kStrings{{512, "Bad property name: %s"}, {513, "Bad settings: %s"}};

class RejectingSerialNode final : public StubNode {
 public:
  RejectingSerialNode();

 protected:
  HRESULT CheckProperty(int index, const std::string& text) override {
    if (index == 0 && (text.empty() || text[0] < '0' || text[0] > '9'))
      return FailFormatted(513, {std::string_view(text)});
    return S_OK;
  }
};

const ServerDescription kServer{CLSID_RS232Node,
                                "RS232Node",
                                "RS232 Class (test stand-in)",
                                "RS232.Node.1",
                                "RS232.Node",
                                "RS232Node Class",
                                LIBID_RS232Lib,
                                "RS232Lib",
                                "RS232 test stand-in 1.0",
                                1,
                                0,
                                0x0409,
                                APPID_RS232,
                                "RS232",
                                nullptr,
                                &CreateStub<RejectingSerialNode>};

RejectingSerialNode::RejectingSerialNode() : StubNode(kServer, kStrings, {{"Settings", ""}, {"CommPort", ""}}) {}

}  // namespace

DEFINE_NODE_SERVER_ENTRY_POINTS(kServer)
