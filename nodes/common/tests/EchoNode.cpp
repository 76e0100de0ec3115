// A minimal node used to test the shared machinery: two properties, and
// DoTransmit echoes the buffer back as OnReception. Built into a small server
// library so that creation by class identity can be tested end to end.
#include "EchoNode.h"
#include "ByteBuffer.h"
#include "ComHolders.h"
#include "ServerEntry.h"
#include "testing/StubNode.h"

namespace {

constexpr GUID LIBID_EchoLib{0x11111112, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

const StringTable kStrings{{512, "Bad property name: %s"},
                           {513, "Not allowed when comm port is open."},
                           {514, "Bad index value: %i"},
                           {515, "Echo refused."}};

class EchoNode final : public StubNode {
 public:
  EchoNode();
  HRESULT DoTransmit(std::int32_t channel, VARIANT, VARIANT buffer) override {
    if (!IsByteBuffer(buffer)) return FailWith(515);
    VariantHolder copy = VariantHolder::Adopt(MakeByteBuffer(BytesOf(buffer)));
    events().RaiseReception(channel, copy.Get());
    return S_OK;
  }
};

const ServerDescription kEchoServer{CLSID_EchoNode,
                                    "EchoNode",
                                    "Echo Class",
                                    "Echo.Node.1",
                                    "Echo.Node",
                                    "EchoNode Class",
                                    LIBID_EchoLib,
                                    "EchoLib",
                                    "Echo test library 1.0",
                                    1,
                                    0,
                                    0x0409,
                                    LIBID_EchoLib,
                                    "Echo",
                                    nullptr,
                                    &CreateStub<EchoNode>};

EchoNode::EchoNode() : StubNode(kEchoServer, kStrings, {{"Alpha", ""}, {"Beta", ""}}) {}

}  // namespace

DEFINE_NODE_SERVER_ENTRY_POINTS(kEchoServer)
