// The component model's standard interfaces. Each is an abstract class whose
// pure virtual functions stand in the platform's slot order, so that a client
// that declares the same interface independently calls the same slots.
#pragma once

#include "ComTypes.h"

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;  // objects free themselves through Release
};

struct ITypeInfo;

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, OLECHAR** names, std::uint32_t count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, std::uint16_t flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t* argErr) = 0;

 protected:
  ~IDispatch() = default;
};

// Type information, reduced to what this system describes: interfaces with
// their methods, and co-classes with their implemented interfaces.
enum TYPEKIND : std::uint32_t { TKIND_INTERFACE = 3, TKIND_DISPATCH = 4, TKIND_COCLASS = 5 };
enum : std::uint16_t { PARAMFLAG_FIN = 1, PARAMFLAG_FOUT = 2, PARAMFLAG_FRETVAL = 8 };
enum : std::uint32_t { IMPLTYPEFLAG_FDEFAULT = 1, IMPLTYPEFLAG_FSOURCE = 2 };

struct ParamDesc {
  const char* name;
  VARTYPE vt;           // VT_BYREF marks a by-reference parameter
  std::uint16_t flags;  // PARAMFLAG_*
};

struct FuncDesc {
  DISPID memid;
  const char* name;
  const char* docString;
  std::uint32_t paramCount;
  const ParamDesc* params;
};

struct ITypeInfo : IUnknown {
  virtual HRESULT GetTypeKind(TYPEKIND* kind) = 0;
  virtual HRESULT GetGuid(GUID* guid) = 0;
  // member DISPID_UNKNOWN (-1) describes the type itself.
  virtual HRESULT GetDocumentation(DISPID member, BSTR* name, BSTR* docString, std::uint32_t* helpContext,
                                   BSTR* helpFile) = 0;
  virtual HRESULT GetFuncCount(std::uint32_t* count) = 0;
  virtual HRESULT GetFuncDesc(std::uint32_t index, const FuncDesc** desc) = 0;
  virtual HRESULT GetIDsOfNames(OLECHAR** names, std::uint32_t count, DISPID* ids) = 0;
  virtual HRESULT GetImplTypeCount(std::uint32_t* count) = 0;
  virtual HRESULT GetImplType(std::uint32_t index, std::uint32_t* implFlags, ITypeInfo** info) = 0;

 protected:
  ~ITypeInfo() = default;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
  virtual HRESULT GetHelpContext(std::uint32_t* helpContext) = 0;

 protected:
  ~IErrorInfo() = default;
};

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT SetGUID(REFGUID guid) = 0;
  virtual HRESULT SetSource(const OLECHAR* source) = 0;
  virtual HRESULT SetDescription(const OLECHAR* description) = 0;
  virtual HRESULT SetHelpFile(const OLECHAR* helpFile) = 0;
  virtual HRESULT SetHelpContext(std::uint32_t helpContext) = 0;

 protected:
  ~ICreateErrorInfo() = default;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};

struct IConnectionPointContainer;
struct IEnumConnections;
struct IEnumConnectionPoints;

struct IConnectionPoint : IUnknown {
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  virtual HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) = 0;
  virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;

 protected:
  ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

struct IProvideClassInfo : IUnknown {
  virtual HRESULT GetClassInfo(ITypeInfo** info) = 0;

 protected:
  ~IProvideClassInfo() = default;
};

enum : std::uint32_t { GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1 };

struct IProvideClassInfo2 : IProvideClassInfo {
  virtual HRESULT GetGUID(std::uint32_t guidKind, GUID* guid) = 0;

 protected:
  ~IProvideClassInfo2() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};
