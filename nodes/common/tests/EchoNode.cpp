// A minimal node used to test the shared machinery: two properties, and
// DoTransmit echoes the buffer back as OnReception. Built into a small server
// library so that creation by class identity can be tested end to end.
#include <string>

#include "ByteBuffer.h"
#include "ComHolders.h"
#include "Identities.h"
#include "NodeObject.h"
#include "ServerEntry.h"

namespace {

constexpr CLSID CLSID_EchoNode{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr GUID LIBID_EchoLib{0x11111112, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

const StringTable kStrings{{512, "Bad property name: %s"},
                           {513, "Not allowed when comm port is open."},
                           {514, "Bad index value: %i"},
                           {515, "Echo refused."}};

IUnknown* CreateEcho();

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
                                    &CreateEcho};

class EchoNode final : public NodeObject {
 public:
  EchoNode() : NodeObject(kEchoServer, kStrings) {}
  HRESULT Connect(VARIANT) override { return S_OK; }
  HRESULT Close(VARIANT) override { return S_OK; }
  HRESULT DoTransmit(std::int32_t channel, VARIANT, VARIANT buffer) override {
    if (!IsByteBuffer(buffer)) return FailWith(515);
    VariantHolder copy = VariantHolder::Adopt(MakeByteBuffer(BytesOf(buffer)));
    events().RaiseReception(channel, copy.Get());
    return S_OK;
  }
  HRESULT DoReceive(std::int32_t, VARIANT) override { return FailBare(E_NOTIMPL); }
  HRESULT DoSynchRequest(std::int32_t, VARIANT, VARIANT, VARIANT*) override { return FailBare(E_FAIL); }
  HRESULT SetProperty(BSTR name, BSTR value) override {
    int index;
    if (HRESULT hr = LookUpProperty(name, &index); FAILED(hr)) return hr;
    values_[index] = Utf8FromBstr(value);
    return S_OK;
  }
  HRESULT GetProperty(BSTR name, BSTR* value) override {
    int index;
    *value = nullptr;
    if (HRESULT hr = LookUpProperty(name, &index); FAILED(hr)) return hr;
    *value = BstrFromUtf8(values_[index]);
    return S_OK;
  }
  HRESULT ApplyProperties() override { return S_OK; }
  HRESULT AllocChannel(std::int32_t* channel) override { return *channel = 0, S_OK; }
  HRESULT ReleaseChannel(std::int32_t) override { return S_OK; }

 protected:
  std::span<const char* const> PropertyNames() const override {
    static const char* const names[] = {"Alpha", "Beta"};
    return names;
  }

 private:
  std::string values_[2];
};

IUnknown* CreateEcho() {
  return static_cast<INode*>(new EchoNode);
}

}  // namespace

DEFINE_NODE_SERVER_ENTRY_POINTS(kEchoServer)
