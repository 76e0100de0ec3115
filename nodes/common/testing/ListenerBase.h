// Test and benchmark support: an event listener for a node, as a client
// would write one. It does not count references (it outlives the node it
// listens to); derived classes implement Invoke.
#pragma once

#include "ComHolders.h"
#include "INode.h"
#include "Identities.h"

class ListenerBase : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__INodeEvents) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }
  HRESULT GetTypeInfoCount(std::uint32_t* n) override { return *n = 0, S_OK; }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, std::uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }

  // Connects to the node's _INodeEvents point; returns the cookie, 0 on failure.
  std::uint32_t ListenTo(INode* node) {
    ComPtr<IConnectionPointContainer> container;
    std::uint32_t cookie = 0;
    if (node->QueryInterface(IID_IConnectionPointContainer, container.VoidAddressOf()) != S_OK) return 0;
    ComPtr<IConnectionPoint> point;
    if (container->FindConnectionPoint(DIID__INodeEvents, point.AddressOf()) == S_OK) point->Advise(this, &cookie);
    return cookie;
  }

  // Disconnects the listener that ListenTo connected with `cookie`.
  static void StopListening(INode* node, std::uint32_t cookie) {
    ComPtr<IConnectionPointContainer> container;
    if (node->QueryInterface(IID_IConnectionPointContainer, container.VoidAddressOf()) != S_OK) return;
    ComPtr<IConnectionPoint> point;
    if (container->FindConnectionPoint(DIID__INodeEvents, point.AddressOf()) == S_OK) point->Unadvise(cookie);
  }
};
