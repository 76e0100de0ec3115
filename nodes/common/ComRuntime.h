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

// Registry lookup of the class's library, dlopen, DllGetClassObject.
// An unknown class gives REGDB_E_CLASSNOTREG; a library that does not load
// gives E_MOD_NOT_FOUND with the loader's message as the thread's error object.
COMRT_API HRESULT CoGetClassObject(REFCLSID clsid, std::uint32_t context, void* reserved, REFIID riid, void** object);
// CoGetClassObject, then the factory's CreateInstance for `riid`.
COMRT_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, std::uint32_t context, REFIID riid, void** object);
COMRT_API HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid);

// Loads a server library and calls its DllRegisterServer (or DllUnregisterServer).
// Returns the entry point's status; `message` explains a failure.
COMRT_API HRESULT RegisterServerLibrary(const std::string& path, bool unregister, std::string* message);

// The platform's text for a status ("Class not registered"), or "" when it has none.
COMRT_API std::string SystemErrorText(HRESULT status);
