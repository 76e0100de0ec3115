// The node interface and its events, as the node libraries implement them.
// Clients declare the same interface themselves; the slot order below is the
// contract: IUnknown's three, IDispatch's four, then the twelve operations.
//
// Argument ownership follows the platform's rules: values passed in stay the
// caller's; values passed out (BSTR*, VARIANT*) become the caller's to free.
#pragma once

#if defined(VORELAN_PROGRAM_SIDE)
#error "The program declares INode itself (RS232Lib_TLB.h); it must not include the node libraries' header."
#endif

#include "Interfaces.h"

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

// DISPIDs of INode's operations, in slot order.
enum : DISPID {
  DISPID_Connect = 1,
  DISPID_Close = 2,
  DISPID_DoTransmit = 3,
  DISPID_DoReceive = 4,
  DISPID_DoSynchRequest = 5,
  DISPID_SetProperty = 6,
  DISPID_GetProperty = 7,
  DISPID_ApplyProperties = 8,
  DISPID_GetFirstProperty = 9,
  DISPID_GetNextProperty = 10,
  DISPID_AllocChannel = 11,
  DISPID_ReleaseChannel = 12,
};

// _INodeEvents is a pure dispatch interface: listeners implement IDispatch and
// receive these DISPIDs through Invoke, with two arguments passed last-first.
enum : DISPID {
  DISPID_OnReception = 1,
  DISPID_OnTransmission = 2,
  DISPID_OnAsynchError = 3,
};

// Kind values understood by the protocol node.
enum : std::int32_t { AnswerExpected = 0, NoAnswer = 1 };
