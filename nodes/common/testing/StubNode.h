// The base of the stand-in node libraries that tests register under a class
// identity in a registry of their own: a node whose properties are texts
// kept under their names, whose one channel is 0, and whose operations
// succeed doing nothing (DoReceive and DoSynchRequest are not implemented).
// A stand-in overrides only what makes it different: a text it refuses, an
// event it raises, an answer it echoes.
//
// Not synchronised: the tests call a stand-in from one thread at a time, as
// the program calls its nodes.
#pragma once

#include <string>
#include <vector>

#include "NodeObject.h"

class StubNode : public NodeObject {
 public:
  struct Property {
    const char* name;   // as the property walk gives it
    std::string value;  // until a SetProperty
  };
  StubNode(const ServerDescription& server, const StringTable& strings, std::vector<Property> properties);

  HRESULT Connect(VARIANT) override { return S_OK; }
  HRESULT Close(VARIANT) override { return S_OK; }
  HRESULT DoTransmit(std::int32_t, VARIANT, VARIANT) override { return S_OK; }
  HRESULT DoReceive(std::int32_t, VARIANT) override { return FailBare(E_NOTIMPL); }
  HRESULT DoSynchRequest(std::int32_t, VARIANT, VARIANT, VARIANT*) override { return FailBare(E_NOTIMPL); }
  HRESULT SetProperty(BSTR name, BSTR value) override;
  HRESULT GetProperty(BSTR name, BSTR* value) override;
  HRESULT ApplyProperties() override { return S_OK; }
  HRESULT AllocChannel(std::int32_t* channel) override { return *channel = 0, S_OK; }
  HRESULT ReleaseChannel(std::int32_t) override { return S_OK; }

 protected:
  // Whether the property at `index` takes `text`: S_OK, or the failure that
  // SetProperty returns without keeping the text.
  virtual HRESULT CheckProperty(int index, const std::string& text);
  std::span<const char* const> PropertyNames() const override { return names_; }

 private:
  std::vector<const char*> names_;
  std::vector<std::string> values_;
};

// The creation function of a stand-in's ServerDescription: a new node with one reference.
template <class Node>
IUnknown* CreateStub() {
  return static_cast<INode*>(new Node);
}
