// A stand-in for the protocol node, registered under the protocol node's class
// identity in a test's private registry. It refuses every request with a long
// report, as a refused relay is reported, and its Close reports a time-out
// before it returns, as the real node's watcher may do at that very moment.
// The teardown test of the protocol wrapper uses it to deliver an event while
// the wrapper is being destroyed.
#include <string>

#include "Identities.h"
#include "NodeObject.h"
#include "ServerEntry.h"

namespace {

const StringTable kStrings{{512, "Bad property name: %s"}, {515, "Time out..."}};

IUnknown* CreateNode();

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
                                &CreateNode};

// Longer than any string the wrapper keeps inline, so that the wrapper's
// copy of it owns heap memory.
constexpr const char* kRefusal = "The stand-in refuses every request; this text is long on purpose";

class ClosingProtocolNode final : public NodeObject {
 public:
  ClosingProtocolNode() : NodeObject(kServer, kStrings) {}
  HRESULT Connect(VARIANT) override { return S_OK; }
  HRESULT Close(VARIANT) override {
    events().RaiseAsynchError(0x80040203, "Time out...");
    return S_OK;
  }
  HRESULT DoTransmit(std::int32_t, VARIANT, VARIANT) override {
    events().RaiseAsynchError(0x80040204, kRefusal);
    return S_OK;
  }
  HRESULT DoReceive(std::int32_t, VARIANT) override { return S_OK; }
  HRESULT DoSynchRequest(std::int32_t, VARIANT, VARIANT, VARIANT*) override { return FailBare(E_NOTIMPL); }
  HRESULT SetProperty(BSTR name, BSTR value) override {
    int index = 0;
    if (HRESULT hr = LookUpProperty(name, &index); FAILED(hr)) return hr;
    timeOut_ = Utf8FromBstr(value);
    return S_OK;
  }
  HRESULT GetProperty(BSTR name, BSTR* value) override {
    int index = 0;
    *value = nullptr;
    if (HRESULT hr = LookUpProperty(name, &index); FAILED(hr)) return hr;
    *value = BstrFromUtf8(timeOut_);
    return S_OK;
  }
  HRESULT ApplyProperties() override { return S_OK; }
  HRESULT AllocChannel(std::int32_t* channel) override { return *channel = 0, S_OK; }
  HRESULT ReleaseChannel(std::int32_t) override { return S_OK; }

 protected:
  std::span<const char* const> PropertyNames() const override {
    static const char* const names[] = {"TimeOut"};
    return names;
  }

 private:
  std::string timeOut_ = "1000";
};

IUnknown* CreateNode() {
  return static_cast<INode*>(new ClosingProtocolNode);
}

}  // namespace

DEFINE_NODE_SERVER_ENTRY_POINTS(kServer)
