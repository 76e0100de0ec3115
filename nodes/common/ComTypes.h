// Basic types of the component model: statuses, identities, counted text,
// variants and byte arrays. These stand in for the platform's automation
// types so that the nodes and their clients keep one binary contract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(COMRT_BUILDING)
#define COMRT_API __attribute__((visibility("default")))
#else
#define COMRT_API
#endif

using HRESULT = std::int32_t;
using DISPID = std::int32_t;
using LCID = std::uint32_t;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}
constexpr HRESULT MakeStatus(std::uint32_t code) {
  return static_cast<HRESULT>(code);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeStatus(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeStatus(0x80004002u);
constexpr HRESULT E_POINTER = MakeStatus(0x80004003u);
constexpr HRESULT E_FAIL = MakeStatus(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeStatus(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = MakeStatus(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeStatus(0x80070057u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeStatus(0x80020003u);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeStatus(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeStatus(0x80020006u);
constexpr HRESULT DISP_E_EXCEPTION = MakeStatus(0x80020009u);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeStatus(0x8002000Eu);
constexpr HRESULT DISP_E_BADVARTYPE = MakeStatus(0x80020008u);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeStatus(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeStatus(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeStatus(0x80040154u);
constexpr HRESULT CONNECT_E_NOCONNECTION = MakeStatus(0x80040200u);
constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeStatus(0x80040201u);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeStatus(0x80040202u);
constexpr HRESULT CO_E_CLASSSTRING = MakeStatus(0x800401F3u);
constexpr HRESULT SELFREG_E_CLASS = MakeStatus(0x80040201u);
constexpr HRESULT E_ACCESSDENIED = MakeStatus(0x80070005u);
// A library that the loader could not load (the platform's "module not found").
constexpr HRESULT E_MOD_NOT_FOUND = MakeStatus(0x8007007Eu);

// Status of a fixed message kept in a node library's string table under number n.
constexpr HRESULT MessageStatus(int n) {
  return MakeStatus(0x80040000u + static_cast<std::uint32_t>(n));
}

// A 128-bit identity.
struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;
using REFGUID = const GUID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
COMRT_API std::string GuidToString(const GUID& g);
// Parses the form above (braces optional, any letter case); false if malformed.
COMRT_API bool GuidFromString(std::string_view text, GUID* out);

// Counted UTF-16 text. The pointer addresses the first character; the length
// in bytes is kept in the 32-bit word before it, and a terminating zero follows.
using OLECHAR = char16_t;
using BSTR = OLECHAR*;

COMRT_API BSTR SysAllocString(const OLECHAR* text);
COMRT_API BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length);
COMRT_API void SysFreeString(BSTR text);
COMRT_API std::uint32_t SysStringLen(BSTR text);
// Conversions used at the edges: UTF-8 in the rest of the code, UTF-16 across the interface.
COMRT_API BSTR BstrFromUtf8(std::string_view text);
COMRT_API std::string Utf8FromBstr(BSTR text);  // a null text gives ""
COMRT_API std::u16string Utf16FromUtf8(std::string_view text);
COMRT_API std::string Utf8FromUtf16(std::u16string_view text);

// Automation type codes.
enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_UI1 = 17,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

// A one-dimensional array (the only shape this system uses).
struct SAFEARRAYBOUND {
  std::uint32_t cElements;
  std::int32_t lLbound;
};
struct SAFEARRAY {
  std::uint16_t cDims;
  std::uint16_t fFeatures;
  std::uint32_t cbElements;
  std::uint32_t cLocks;
  VARTYPE vt;  // element type
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};

COMRT_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lowerBound, std::uint32_t count);
COMRT_API HRESULT SafeArrayDestroy(SAFEARRAY* array);
COMRT_API HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** out);
COMRT_API std::uint32_t SafeArrayGetDim(const SAFEARRAY* array);
COMRT_API HRESULT SafeArrayGetLBound(const SAFEARRAY* array, std::uint32_t dim, std::int32_t* bound);
COMRT_API HRESULT SafeArrayGetUBound(const SAFEARRAY* array, std::uint32_t dim, std::int32_t* bound);
COMRT_API HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
COMRT_API HRESULT SafeArrayUnaccessData(SAFEARRAY* array);

struct IUnknown;
struct IDispatch;

struct VARIANT {
  VARTYPE vt;
  std::uint16_t wReserved1, wReserved2, wReserved3;
  union {
    std::uint8_t bVal;
    std::int16_t iVal;
    std::int32_t lVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    std::uint8_t* pbVal;
    std::int16_t* piVal;
    std::int32_t* plVal;
    BSTR* pbstrVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    void* byref;
  };
};
using VARIANTARG = VARIANT;

COMRT_API void VariantInit(VARIANT* v);
// Frees what the variant owns (text, array, interface reference) and empties it.
COMRT_API HRESULT VariantClear(VARIANT* v);
// Deep copy: text and arrays are duplicated, interfaces get a reference. By-reference
// values are copied as references (the target is not owned).
COMRT_API HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Like VariantCopy, but a by-reference value is followed and its target copied.
COMRT_API HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);
// Converts to VT_I4, VT_I2, VT_BSTR or VT_UI1 (following references); DISP_E_TYPEMISMATCH otherwise.
COMRT_API HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t flags, VARTYPE vt);

struct DISPPARAMS {
  VARIANTARG* rgvarg;  // last argument first
  DISPID* rgdispidNamedArgs;
  std::uint32_t cArgs;
  std::uint32_t cNamedArgs;
};

struct EXCEPINFO {
  std::uint16_t wCode;
  std::uint16_t wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  std::uint32_t dwHelpContext;
  void* pvReserved;
  void* pfnDeferredFillIn;
  HRESULT scode;
};

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr std::uint16_t DISPATCH_METHOD = 1;
constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
constexpr DISPID DISPID_UNKNOWN = -1;
