// A stand-in for the protocol node, registered under the protocol node's class
// identity in a test's private registry. It refuses every request with a long
// report, as a refused relay is reported, and its Close reports a time-out
// before it returns, as the real node's watcher may do at that very moment.
// The teardown test of the protocol wrapper uses it to deliver an event while
// the wrapper is being destroyed.
#include "Identities.h"
#include "ServerEntry.h"
#include "testing/StubNode.h"

namespace {

const StringTable kStrings{{512, "Bad property name: %s"}, {515, "Time out..."}};

// Longer than any string the wrapper keeps inline, so that the wrapper's
// copy of it owns heap memory.
constexpr const char* kRefusal = "The stand-in refuses every request; this text is long on purpose";

class ClosingProtocolNode final : public StubNode {
 public:
  ClosingProtocolNode();
  HRESULT Close(VARIANT) override {
    events().RaiseAsynchError(0x80040203, "Time out...");
    return S_OK;
  }
  HRESULT DoTransmit(std::int32_t, VARIANT, VARIANT) override {
    events().RaiseAsynchError(0x80040204, kRefusal);
    return S_OK;
  }
};

const ServerDescription kServer{CLSID_TavarnelNode,
                                "TavarnelNode",
                                "Tavarnel Class (test stand-in)",
                                "Tavarnel.Node.1",
                                "Tavarnel.Node",
                                "TavarnelNode Class",
                                LIBID_TavarnelLib,
                                "TavarnelLib",
                                "Tavarnel test stand-in 1.0",
                                1,
                                0,
                                0x0409,
                                APPID_Tavarnel,
                                "Tavarnel",
                                nullptr,
                                &CreateStub<ClosingProtocolNode>};

ClosingProtocolNode::ClosingProtocolNode() : StubNode(kServer, kStrings, {{"TimeOut", "1000"}}) {}

}  // namespace

DEFINE_NODE_SERVER_ENTRY_POINTS(kServer)
