// Creation by class identity and the server-library registration that the
// platform would otherwise provide.
#pragma once

#include <string>

#include "Interfaces.h"

enum : std::uint32_t { CLSCTX_INPROC_SERVER = 1, CLSCTX_LOCAL_SERVER = 4, CLSCTX_SERVER = 0x15 };
enum : std::uint32_t { COINIT_MULTITHREADED = 0 };

// Joining and leaving the multithreaded apartment mean nothing on Linux (no
// call is ever marshalled); the design calls them, so they exist and succeed.
COMRT_API HRESULT CoInitializeEx(void* reserved, std::uint32_t model);
COMRT_API void CoUninitialize();

// The class's library (pinned, else the registry's), dlopen, DllGetClassObject.
// An unknown class gives REGDB_E_CLASSNOTREG; a library in a place others may
// change (LibraryTrust.h) gives E_ACCESSDENIED, and one that does not load
// E_MOD_NOT_FOUND, each with its message as the thread's error object.
COMRT_API HRESULT CoGetClassObject(REFCLSID clsid, std::uint32_t context, void* reserved, REFIID riid, void** object);
// CoGetClassObject, then the factory's CreateInstance for `riid`.
COMRT_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, std::uint32_t context, REFIID riid, void** object);
COMRT_API HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid);

// From now on this process creates `clsid` from the library at `path`,
// checked as a registered one is, and never from the registry's entry: the
// program uses the node libraries installed beside it whatever a per-user
// registry says.
COMRT_API void PinClassLibrary(REFCLSID clsid, const std::string& path);

// Loads a server library (refused as CoGetClassObject refuses one) and calls its DllRegisterServer (or
// DllUnregisterServer). Returns the entry point's status; `message` explains a failure.
COMRT_API HRESULT RegisterServerLibrary(const std::string& path, bool unregister, std::string* message);

// The platform's text for a status ("Class not registered"), or "" when it has none.
COMRT_API std::string SystemErrorText(HRESULT status);
