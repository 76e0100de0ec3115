#include "NodeTypeInfo.h"

#include <strings.h>
#include <atomic>

#include "Identities.h"

namespace {

constexpr std::uint16_t In = PARAMFLAG_FIN;
constexpr std::uint16_t Out = PARAMFLAG_FOUT;
constexpr std::uint16_t Result = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

constexpr ParamDesc kConnect[] = {{"Param", VT_VARIANT, In}};
constexpr ParamDesc kClose[] = {{"Param", VT_VARIANT, In}};
constexpr ParamDesc kDoTransmit[] = {{"Channel", VT_I4, In}, {"Kind", VT_VARIANT, In}, {"Buffer", VT_VARIANT, In}};
constexpr ParamDesc kDoReceive[] = {{"Channel", VT_I4, In}, {"Buffer", VT_VARIANT, In}};
constexpr ParamDesc kDoSynchRequest[] = {{"Channel", VT_I4, In},
                                         {"Kind", VT_VARIANT, In},
                                         {"BuffIn", VT_VARIANT, In},
                                         {"BuffOut", VT_VARIANT | VT_BYREF, Out}};
constexpr ParamDesc kSetProperty[] = {{"Name", VT_BSTR, In}, {"Value", VT_BSTR, In}};
constexpr ParamDesc kGetProperty[] = {{"Name", VT_BSTR, In}, {"Value", VT_BSTR | VT_BYREF, Result}};
constexpr ParamDesc kGetFirstProperty[] = {{"Index", VT_I4 | VT_BYREF, Result}};
constexpr ParamDesc kGetNextProperty[] = {{"Index", VT_I4 | VT_BYREF, In | Out}, {"Name", VT_BSTR | VT_BYREF, Result}};
constexpr ParamDesc kAllocChannel[] = {{"Channel", VT_I4 | VT_BYREF, Result}};
constexpr ParamDesc kReleaseChannel[] = {{"Channel", VT_I4, In}};

constexpr FuncDesc kNodeFunctions[] = {
    {1, "Connect", "Method Connect: used if you want to connect this node.", 1, kConnect},
    {2, "Close", "Method Close: used if you want to close the connection.", 1, kClose},
    {3, "DoTransmit", "Method DoTransmit: used if you want your node to send data.", 3, kDoTransmit},
    {4, "DoReceive", "Method DoReceive: used if you want your node to receive data.", 2, kDoReceive},
    {5, "DoSynchRequest",
     "Method DoSynchRequest: used if you want your node to send and receive data, and block between.", 4,
     kDoSynchRequest},
    {6, "SetProperty", "Method SetProperty: Set a node property value.", 2, kSetProperty},
    {7, "GetProperty", "Method GetProperty: Get a node property value.", 2, kGetProperty},
    {8, "ApplyProperties", "Method ApplyProperties: Check properties consistency.", 0, nullptr},
    {9, "GetFirstProperty", "Method GetFirstProperty: Walk the properties list.", 1, kGetFirstProperty},
    {10, "GetNextProperty", "Method GetNextProperty: Walk the properties list.", 2, kGetNextProperty},
    {11, "AllocChannel", "Method AllocChannel: obtain a communication channel.", 1, kAllocChannel},
    {12, "ReleaseChannel", "Method ReleaseChannel: release a communication channel.", 1, kReleaseChannel},
};

constexpr ParamDesc kDataEvent[] = {{"Channel", VT_I4, In}, {"Buffer", VT_VARIANT | VT_BYREF, In}};
constexpr ParamDesc kErrorEvent[] = {{"Code", VT_I4, In}, {"Comment", VT_BSTR, In}};

constexpr FuncDesc kEventFunctions[] = {
    {1, "OnReception", "method OnReception", 2, kDataEvent},
    {2, "OnTransmission", "method OnTransmission", 2, kDataEvent},
    {3, "OnAsynchError", "method OnAsynchError", 2, kErrorEvent},
};

const InterfaceDescription kINode{IID_INode, "INode", "INode Interface", TKIND_INTERFACE, kNodeFunctions};
const InterfaceDescription kINodeEvents{DIID__INodeEvents, "_INodeEvents", "_INodeEvents Interface", TKIND_DISPATCH,
                                        kEventFunctions};

HRESULT GiveText(const char* text, BSTR* out) {
  if (out) *out = text ? BstrFromUtf8(text) : nullptr;
  return S_OK;
}

// Shared behaviour of both kinds of type information.
class TypeInfoBase : public ITypeInfo {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
      *object = static_cast<ITypeInfo*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 protected:
  ~TypeInfoBase() = default;
};

class InterfaceInfo final : public TypeInfoBase {
 public:
  explicit InterfaceInfo(const InterfaceDescription& d) : d_(d) {}
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }
  HRESULT GetTypeKind(TYPEKIND* kind) override { return kind ? (*kind = d_.kind, S_OK) : E_POINTER; }
  HRESULT GetGuid(GUID* guid) override { return guid ? (*guid = d_.iid, S_OK) : E_POINTER; }
  HRESULT GetDocumentation(DISPID member, BSTR* name, BSTR* doc, std::uint32_t* helpContext, BSTR* helpFile) override {
    if (helpContext) *helpContext = 0;
    GiveText(nullptr, helpFile);
    if (member == DISPID_UNKNOWN) return GiveText(d_.name, name), GiveText(d_.docString, doc);
    const FuncDesc* f = FindFunction(d_, member);
    if (!f) return DISP_E_MEMBERNOTFOUND;
    return GiveText(f->name, name), GiveText(f->docString, doc);
  }
  HRESULT GetFuncCount(std::uint32_t* count) override {
    return count ? (*count = static_cast<std::uint32_t>(d_.functions.size()), S_OK) : E_POINTER;
  }
  HRESULT GetFuncDesc(std::uint32_t index, const FuncDesc** desc) override {
    if (!desc) return E_POINTER;
    if (index >= d_.functions.size()) return E_INVALIDARG;
    *desc = &d_.functions[index];
    return S_OK;
  }
  HRESULT GetIDsOfNames(OLECHAR** names, std::uint32_t count, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    HRESULT hr = S_OK;
    const DISPID member = FindDispId(d_, Utf8FromBstr(names[0]));
    ids[0] = member;
    if (member == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    // Further names are parameter names of that member, numbered from 0.
    const FuncDesc* f = member == DISPID_UNKNOWN ? nullptr : FindFunction(d_, member);
    for (std::uint32_t i = 1; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      const std::string wanted = Utf8FromBstr(names[i]);
      for (std::uint32_t p = 0; f && p < f->paramCount; ++p)
        if (strcasecmp(f->params[p].name, wanted.c_str()) == 0) ids[i] = static_cast<DISPID>(p);
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT GetImplTypeCount(std::uint32_t* count) override { return count ? (*count = 0, S_OK) : E_POINTER; }
  HRESULT GetImplType(std::uint32_t, std::uint32_t*, ITypeInfo**) override { return E_INVALIDARG; }

 private:
  const InterfaceDescription& d_;
};

class CoClassInfo final : public TypeInfoBase {
 public:
  explicit CoClassInfo(const ServerDescription& s) : s_(s) {}
  std::uint32_t AddRef() override { return ++refs_; }
  std::uint32_t Release() override {
    const std::uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetTypeKind(TYPEKIND* kind) override { return kind ? (*kind = TKIND_COCLASS, S_OK) : E_POINTER; }
  HRESULT GetGuid(GUID* guid) override { return guid ? (*guid = s_.clsid, S_OK) : E_POINTER; }
  HRESULT GetDocumentation(DISPID member, BSTR* name, BSTR* doc, std::uint32_t* helpContext, BSTR* helpFile) override {
    if (member != DISPID_UNKNOWN) return DISP_E_MEMBERNOTFOUND;
    if (helpContext) *helpContext = 0;
    GiveText(nullptr, helpFile);
    return GiveText(s_.coclassName, name), GiveText(s_.classDescription, doc);
  }
  HRESULT GetFuncCount(std::uint32_t* count) override { return count ? (*count = 0, S_OK) : E_POINTER; }
  HRESULT GetFuncDesc(std::uint32_t, const FuncDesc**) override { return E_INVALIDARG; }
  HRESULT GetIDsOfNames(OLECHAR**, std::uint32_t, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT GetImplTypeCount(std::uint32_t* count) override { return count ? (*count = 2, S_OK) : E_POINTER; }
  HRESULT GetImplType(std::uint32_t index, std::uint32_t* flags, ITypeInfo** info) override {
    if (index > 1) return E_INVALIDARG;
    if (flags) *flags = index == 0 ? IMPLTYPEFLAG_FDEFAULT : IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    if (info) *info = InterfaceTypeInfo(index == 0 ? kINode : kINodeEvents);
    return S_OK;
  }

 private:
  ~CoClassInfo() = default;
  std::atomic<std::uint32_t> refs_{1};
  const ServerDescription& s_;
};

}  // namespace

const InterfaceDescription& INodeDescription() {
  return kINode;
}
const InterfaceDescription& INodeEventsDescription() {
  return kINodeEvents;
}

ITypeInfo* InterfaceTypeInfo(const InterfaceDescription& description) {
  static InterfaceInfo node(kINode);
  static InterfaceInfo events(kINodeEvents);
  return &description == &kINodeEvents ? static_cast<ITypeInfo*>(&events) : static_cast<ITypeInfo*>(&node);
}

ITypeInfo* CoClassTypeInfo(const ServerDescription& server) {
  return new CoClassInfo(server);
}

DISPID FindDispId(const InterfaceDescription& description, std::string_view name) {
  const std::string wanted(name);
  for (const FuncDesc& f : description.functions)
    if (strcasecmp(f.name, wanted.c_str()) == 0) return f.memid;
  return DISPID_UNKNOWN;
}

const FuncDesc* FindFunction(const InterfaceDescription& description, DISPID member) {
  for (const FuncDesc& f : description.functions)
    if (f.memid == member) return &f;
  return nullptr;
}
