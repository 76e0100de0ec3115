// What both node classes share: reference counting, the dispatch interface
// over the compiled-in type information, rich error support, class
// information, the connection point for _INodeEvents, the property walk and
// the error reporting rules. A node class derives from it and fills in INode's
// operations.
#pragma once

#include <atomic>
#include <span>

#include "INode.h"
#include "NodeEvents.h"
#include "NodeTypeInfo.h"
#include "StringTable.h"

class NodeObject : public INode, public ISupportErrorInfo, public IProvideClassInfo2, public IConnectionPointContainer {
 public:
  NodeObject(const ServerDescription& server, const StringTable& strings);
  NodeObject(const NodeObject&) = delete;
  NodeObject& operator=(const NodeObject&) = delete;

  // IUnknown: the node frees itself when the last reference goes.
  HRESULT QueryInterface(REFIID riid, void** object) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;

  // IDispatch over INode's type information.
  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, OLECHAR** names, std::uint32_t count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

  // INode supports rich error information.
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

  // Class information: the co-class, and _INodeEvents as the default outgoing interface.
  HRESULT GetClassInfo(ITypeInfo** info) override;
  HRESULT GetGUID(std::uint32_t guidKind, GUID* guid) override;

  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // The property walk, identical in both nodes.
  HRESULT GetFirstProperty(std::int32_t* Index) override;
  HRESULT GetNextProperty(std::int32_t* Index, BSTR* Name) override;

 protected:
  virtual ~NodeObject();

  virtual std::span<const char* const> PropertyNames() const = 0;

  // Records an error object with fixed message `number` and returns 0x80040000 + number.
  HRESULT FailWith(int number);
  // Records the formatted message `number` and returns DISP_E_EXCEPTION.
  HRESULT FailFormatted(int number, std::initializer_list<StringTable::Argument> arguments);
  // Returns `status` with no error object for the caller (any stale one is cleared).
  static HRESULT FailBare(HRESULT status);
  // Looks a property name up; on failure records 512 with the whole name.
  HRESULT LookUpProperty(BSTR name, int* index);

  const ServerDescription& server() const { return server_; }
  const StringTable& strings() const { return strings_; }
  NodeEvents& events() { return events_; }

 private:
  const ServerDescription& server_;
  const StringTable& strings_;
  std::atomic<std::uint32_t> refs_{1};
  NodeEvents events_{this};
};
