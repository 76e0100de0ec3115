// A stand-in for the serial node, registered under the serial node's class
// identity in a test's private registry: it refuses a "Settings" text that
// does not start with a digit, as a stricter serial node would, and opens
// without any device. The main window's tests use it for a property that a
// node rejects at start-up.
#include <string>

#include "Identities.h"
#include "NodeObject.h"
#include "ServerEntry.h"

namespace {

const StringTable kStrings{{512, "Bad property name: %s"}, {513, "Bad settings: %s"}};

IUnknown* CreateNode();

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
                                &CreateNode};

class RejectingSerialNode final : public NodeObject {
 public:
  RejectingSerialNode() : NodeObject(kServer, kStrings) {}
  HRESULT Connect(VARIANT) override { return S_OK; }
  HRESULT Close(VARIANT) override { return S_OK; }
  HRESULT DoTransmit(std::int32_t, VARIANT, VARIANT) override { return S_OK; }  // nobody answers
  HRESULT DoReceive(std::int32_t, VARIANT) override { return FailBare(E_NOTIMPL); }
  HRESULT DoSynchRequest(std::int32_t, VARIANT, VARIANT, VARIANT*) override { return FailBare(E_NOTIMPL); }
  HRESULT SetProperty(BSTR name, BSTR value) override {
    int index = 0;
    if (HRESULT hr = LookUpProperty(name, &index); FAILED(hr)) return hr;
    const std::string text = Utf8FromBstr(value);
    if (index == 0 && (text.empty() || text[0] < '0' || text[0] > '9'))
      return FailFormatted(513, {std::string_view(text)});
    values_[index] = text;
    return S_OK;
  }
  HRESULT GetProperty(BSTR name, BSTR* value) override {
    int index = 0;
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
    static const char* const names[] = {"Settings", "CommPort"};
    return names;
  }

 private:
  std::string values_[2];
};

IUnknown* CreateNode() {
  return static_cast<INode*>(new RejectingSerialNode);
}

}  // namespace

DEFINE_NODE_SERVER_ENTRY_POINTS(kServer)
