// The program's declarations of the node interface, as imported from the
// node libraries' type information: the same identities, the same slot order
// and DISPIDs. The program never includes the node libraries' own headers; it
// reaches the nodes only through these declarations and creation by class
// identity.
#pragma once

#include "ComRuntime.h"
#include "ComTypes.h"
#include "Identities.h"
#include "Interfaces.h"

// INode: dual interface; its operations follow IDispatch's four, in this order.
struct INode : IDispatch {
  virtual HRESULT Connect(VARIANT Param) = 0;
  virtual HRESULT Close(VARIANT Param) = 0;
  virtual HRESULT DoTransmit(std::int32_t Channel, VARIANT Kind, VARIANT Buffer) = 0;
  virtual HRESULT DoReceive(std::int32_t Channel, VARIANT Buffer) = 0;
  virtual HRESULT DoSynchRequest(std::int32_t Channel, VARIANT Kind, VARIANT BuffIn, VARIANT* BuffOut) = 0;
  virtual HRESULT SetProperty(BSTR Name, BSTR Value) = 0;
  virtual HRESULT GetProperty(BSTR Name, BSTR* Value) = 0;
  virtual HRESULT ApplyProperties() = 0;
  virtual HRESULT GetFirstProperty(std::int32_t* Index) = 0;
  virtual HRESULT GetNextProperty(std::int32_t* Index, BSTR* Name) = 0;
  virtual HRESULT AllocChannel(std::int32_t* Channel) = 0;
  virtual HRESULT ReleaseChannel(std::int32_t Channel) = 0;

 protected:
  ~INode() = default;
};

// _INodeEvents: a dispatch interface; the listener receives these DISPIDs.
namespace NodeEventsDispId {
constexpr DISPID OnReception = 1;
constexpr DISPID OnTransmission = 2;
constexpr DISPID OnAsynchError = 3;
}  // namespace NodeEventsDispId

// Creators: make a node object by its class identity and return its INode
// (one reference, the caller's). A failure status is returned as it came.
struct CoRS232Node {
  static HRESULT Create(INode** node);
};
struct CoTavarnelNode {
  static HRESULT Create(INode** node);
};
