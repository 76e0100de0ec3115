#include "ServerEntry.h"

#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <string>

#include "ComHolders.h"
#include "ErrorInfo.h"
#include "Identities.h"
#include "Registry.h"

namespace {

// Objects and factory locks alive in this library; any thread may change it.
std::atomic<long> liveCount{0};

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ServerDescription& server) : server_(server) { ServerObjectCreated(); }
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return ++refs_; }
  std::uint32_t Release() override {
    const std::uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    const auto node = ComPtr<IUnknown>::Adopt(server_.createObject());
    if (!node) return E_OUTOFMEMORY;
    return node->QueryInterface(riid, object);
  }
  HRESULT LockServer(bool lock) override {
    if (lock)
      ServerObjectCreated();
    else
      ServerObjectDestroyed();
    return S_OK;
  }

 private:
  ~ClassFactory() { ServerObjectDestroyed(); }
  std::atomic<std::uint32_t> refs_{1};
  const ServerDescription& server_;
};

// The absolute path of the library this code is linked into.
std::string OwnLibraryPath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&OwnLibraryPath), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

std::string Describe(const FuncDesc& f) {
  // "DISPID|description|direction type name, ..." : enough for a reader of the
  // registry to see the whole contract of each operation.
  std::string text = std::to_string(f.memid) + "|" + f.docString + "|";
  for (std::uint32_t i = 0; i < f.paramCount; ++i) {
    const ParamDesc& p = f.params[i];
    if (i) text += ", ";
    const bool in = p.flags & PARAMFLAG_FIN, out = p.flags & PARAMFLAG_FOUT;
    text += in && out ? "in/out " : out ? ((p.flags & PARAMFLAG_FRETVAL) ? "out,retval " : "out ") : "in ";
    const VARTYPE base = p.vt & ~VT_BYREF;
    text += base == VT_I4 ? "long" : base == VT_BSTR ? "BSTR" : "VARIANT";
    if (p.vt & VT_BYREF) text += "*";
    text += std::string(" ") + p.name;
  }
  return text;
}

void WriteInterface(ComponentRegistry& reg, const ServerDescription& s, const InterfaceDescription& d,
                    const std::string& typeLibKey) {
  const std::string key = "Interface\\" + GuidToString(d.iid);
  reg.Set(key, "", d.name);
  reg.Set(key + "\\TypeLib", "", GuidToString(s.libid));
  reg.Set(key + "\\TypeLib", "Version", std::to_string(s.libMajor) + "." + std::to_string(s.libMinor));
  const std::string infoKey = typeLibKey + "\\TypeInfo\\" + d.name;
  reg.Set(infoKey, "", d.docString);
  reg.Set(infoKey, "IID", GuidToString(d.iid));
  reg.Set(infoKey, "Kind", d.kind == TKIND_DISPATCH ? "dispinterface" : "dual");
  for (const FuncDesc& f : d.functions) reg.Set(infoKey, f.name, Describe(f));
}

std::string TypeLibKey(const ServerDescription& s) {
  return "TypeLib\\" + GuidToString(s.libid) + "\\" + std::to_string(s.libMajor) + "." + std::to_string(s.libMinor);
}

char HexDigit(unsigned v) {
  return "0123456789abcdef"[v & 0xF];
}

std::string LcidKey(LCID lcid) {
  std::string text;
  for (int shift = 12; shift >= 0; shift -= 4)
    if (!text.empty() || ((lcid >> shift) & 0xF) || shift == 0) text += HexDigit(lcid >> shift);
  return text;
}

HRESULT ReportRegistryFailure(const ServerDescription& s, const std::string& message) {
  RecordErrorInfo(s.progId, message);
  return E_ACCESSDENIED;
}

}  // namespace

void ServerObjectCreated() {
  ++liveCount;
}
void ServerObjectDestroyed() {
  --liveCount;
}

HRESULT ServerCanUnloadNow() {
  return liveCount.load() == 0 ? S_OK : S_FALSE;
}

HRESULT ServerGetClassObject(const ServerDescription& server, REFCLSID clsid, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!(clsid == server.clsid)) return CLASS_E_CLASSNOTAVAILABLE;
  const auto factory = ComPtr<IClassFactory>::Adopt(new ClassFactory(server));
  return factory->QueryInterface(riid, object);
}

HRESULT ServerRegister(const ServerDescription& s) {
  const std::string path = OwnLibraryPath();
  if (path.empty()) return ReportRegistryFailure(s, "Cannot find the path of the server library");
  const std::string clsid = GuidToString(s.clsid), libid = GuidToString(s.libid), appid = GuidToString(s.appid);
  std::string error;
  const bool ok = ComponentRegistry::Edit(
      [&](ComponentRegistry& reg) {
        const std::string classKey = "CLSID\\" + clsid;
        reg.Set(classKey, "", s.classDescription);
        reg.Set(classKey, "AppID", appid);
        reg.Set(classKey + "\\ProgID", "", s.progId);
        reg.Set(classKey + "\\VersionIndependentProgID", "", s.versionIndependentProgId);
        reg.Set(classKey + "\\InprocServer32", "", path);
        reg.Set(classKey + "\\InprocServer32", "ThreadingModel", "Both");
        reg.Set(classKey + "\\Programmable", "", "");
        reg.Set(classKey + "\\TypeLib", "", libid);

        reg.Set(s.progId, "", s.progIdDescription);
        reg.Set(std::string(s.progId) + "\\CLSID", "", clsid);
        reg.Set(s.versionIndependentProgId, "", s.progIdDescription);
        reg.Set(std::string(s.versionIndependentProgId) + "\\CLSID", "", clsid);
        reg.Set(std::string(s.versionIndependentProgId) + "\\CurVer", "", s.progId);

        reg.Set("AppID\\" + appid, "", s.appName);
        if (s.appExecutable) reg.Set(std::string("AppID\\") + s.appExecutable, "AppID", appid);

        const std::string typeLibKey = TypeLibKey(s);
        reg.Set(typeLibKey, "", s.libDescription);
        reg.Set(typeLibKey, "Name", s.libName);
        reg.Set(typeLibKey + "\\" + LcidKey(s.libLcid) + "\\linux", "", path);
        reg.Set(typeLibKey + "\\FLAGS", "", "0");
        reg.Set(typeLibKey + "\\TypeInfo\\" + s.coclassName, "", s.classDescription);
        reg.Set(typeLibKey + "\\TypeInfo\\" + s.coclassName, "CLSID", clsid);
        reg.Set(typeLibKey + "\\TypeInfo\\" + s.coclassName, "Implements",
                "[default] INode, [default, source] _INodeEvents");
        WriteInterface(reg, s, INodeDescription(), typeLibKey);
        WriteInterface(reg, s, INodeEventsDescription(), typeLibKey);
      },
      &error);
  return ok ? S_OK : ReportRegistryFailure(s, error);
}

HRESULT ServerUnregister(const ServerDescription& s) {
  const std::string clsid = GuidToString(s.clsid), libid = GuidToString(s.libid), appid = GuidToString(s.appid);
  std::string error;
  const bool ok = ComponentRegistry::Edit(
      [&](ComponentRegistry& reg) {
        reg.DeleteTree("CLSID\\" + clsid);
        reg.DeleteTree(s.progId);
        reg.DeleteTree(s.versionIndependentProgId);
        reg.DeleteTree("AppID\\" + appid);
        if (s.appExecutable) reg.DeleteTree(std::string("AppID\\") + s.appExecutable);
        reg.DeleteTree("TypeLib\\" + libid);
        // The node interfaces are shared by both libraries: remove them only
        // while they still point at this library's type library.
        for (const IID& iid : {IID_INode, DIID__INodeEvents}) {
          const std::string key = "Interface\\" + GuidToString(iid);
          if (reg.Get(key + "\\TypeLib") == libid) reg.DeleteTree(key);
        }
      },
      &error);
  return ok ? S_OK : ReportRegistryFailure(s, error);
}
