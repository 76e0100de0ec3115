#include "ComRuntime.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <optional>

#include "ComHolders.h"
#include "ErrorInfo.h"
#include "Identities.h"
#include "LibraryTrust.h"
#include "Registry.h"

namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using ServerFn = HRESULT (*)();

// Libraries stay loaded for the life of the process: their threads and
// objects may outlive any one creation, as with the platform's own loader
// until DllCanUnloadNow is asked. Guarded by loadedLock; any thread may create.
std::mutex loadedLock;
std::map<std::string, void*> loaded;

// Classes pinned to a library (PinClassLibrary), by class identity text.
// Guarded by pinnedLock.
std::mutex pinnedLock;
std::map<std::string, std::string> pinned;

// The library at `path` once CheckLibrary trusts it, loaded from the resolved
// path that was checked. Null with `status` E_ACCESSDENIED for a refused one,
// E_MOD_NOT_FOUND for one that is missing or does not load.
void* LoadLibrary(const std::string& path, std::string* message, HRESULT* status) {
  LibraryCheck check = CheckLibrary(path);
  if (check.verdict != LibraryCheck::Trusted) {
    if (message) *message = std::move(check.message);
    *status = check.verdict == LibraryCheck::Refused ? E_ACCESSDENIED : E_MOD_NOT_FOUND;
    return nullptr;
  }
  const std::string& resolved = check.resolved;
  std::lock_guard<std::mutex> guard(loadedLock);
  if (auto it = loaded.find(resolved); it != loaded.end()) return it->second;
  dlerror();
  void* handle = dlopen(resolved.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    if (message) *message = why ? why : ("Cannot load " + path);
    *status = E_MOD_NOT_FOUND;
    return nullptr;
  }
  loaded[resolved] = handle;
  return handle;
}

std::optional<std::string> PinnedLibrary(REFCLSID clsid) {
  std::lock_guard<std::mutex> guard(pinnedLock);
  const auto it = pinned.find(GuidToString(clsid));
  if (it == pinned.end()) return std::nullopt;
  return it->second;
}

}  // namespace

HRESULT CoInitializeEx(void*, std::uint32_t) {
  return S_OK;
}
void CoUninitialize() {}

HRESULT CoGetClassObject(REFCLSID clsid, std::uint32_t, void*, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  std::optional<std::string> path = PinnedLibrary(clsid);
  if (!path) path = ComponentRegistry::Load().Get("CLSID\\" + GuidToString(clsid) + "\\InprocServer32");
  if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
  std::string message;
  HRESULT status = S_OK;
  void* library = LoadLibrary(*path, &message, &status);
  if (!library) {
    RecordErrorInfo("ComponentRuntime", message);
    return status;
  }
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(library, "DllGetClassObject"));
  if (!getClassObject) {
    RecordErrorInfo("ComponentRuntime", *path + " is not a component server (no DllGetClassObject)");
    return E_MOD_NOT_FOUND;
  }
  return getClassObject(clsid, riid, object);
}

void PinClassLibrary(REFCLSID clsid, const std::string& path) {
  std::lock_guard<std::mutex> guard(pinnedLock);
  pinned[GuidToString(clsid)] = path;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, std::uint32_t context, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  ComPtr<IClassFactory> factory;
  const HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, factory.VoidAddressOf());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(outer, riid, object);
}

HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  const ComponentRegistry registry = ComponentRegistry::Load();
  const auto text = registry.Get(progId + "\\CLSID");
  if (!text || !GuidFromString(*text, clsid)) return CO_E_CLASSSTRING;
  return S_OK;
}

HRESULT RegisterServerLibrary(const std::string& path, bool unregister, std::string* message) {
  HRESULT status = S_OK;
  void* library = LoadLibrary(path, message, &status);
  if (!library) return status;
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto fn = reinterpret_cast<ServerFn>(dlsym(library, entry));
  if (!fn) {
    if (message) *message = path + " has no entry point " + entry;
    return E_MOD_NOT_FOUND;
  }
  const HRESULT hr = fn();
  if (FAILED(hr) && message) {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.AddressOf()) == S_OK) *message = ReadErrorFields(info.Get()).description;
    if (message->empty()) *message = SystemErrorText(hr);
  }
  return hr;
}

std::string SystemErrorText(HRESULT status) {
  switch (static_cast<std::uint32_t>(status)) {
    case 0x00000000u:
      return "The operation completed successfully";
    case 0x80004001u:
      return "Not implemented";
    case 0x80004002u:
      return "Interface not supported";
    case 0x80004003u:
      return "Invalid pointer";
    case 0x80004005u:
      return "Unspecified error";
    case 0x8000FFFFu:
      return "Catastrophic failure";
    case 0x80070005u:
      return "Access is denied";
    case 0x8007000Eu:
      return "Not enough storage is available to complete this operation";
    case 0x80070057u:
      return "The parameter is incorrect";
    case 0x8007007Eu:
      return "The specified module could not be found";
    case 0x80020003u:
      return "Member not found";
    case 0x80020005u:
      return "Type mismatch";
    case 0x80020006u:
      return "Unknown name";
    case 0x80020009u:
      return "Exception occurred";
    case 0x8002000Eu:
      return "Invalid number of parameters";
    case 0x80040110u:
      return "Class does not support aggregation";
    case 0x80040111u:
      return "ClassFactory cannot supply requested class";
    case 0x80040154u:
      return "Class not registered";
    case 0x800401F3u:
      return "Invalid class string";
    default:
      return {};
  }
}
