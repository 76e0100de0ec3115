// The connection point of a node for _INodeEvents, and the raising of events
// on the listeners connected to it.
#pragma once

#include <string_view>
#include <vector>

#include "ComHolders.h"
#include "INode.h"

class NodeEvents final : public IConnectionPoint {
 public:
  // `container` owns this point; the point's reference count is the container's.
  explicit NodeEvents(IConnectionPointContainer* container) : container_(container) {}

  HRESULT QueryInterface(REFIID riid, void** object) override;
  std::uint32_t AddRef() override { return container_->AddRef(); }
  std::uint32_t Release() override { return container_->Release(); }

  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
  // Takes the first free place in the listener list; the cookie is that place + 1.
  HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override;
  HRESULT Unadvise(std::uint32_t cookie) override;
  HRESULT EnumConnections(IEnumConnections** connections) override;

  // Raise an event on every listener in list order, synchronously on the
  // calling thread. The buffer reaches listeners as a reference to a variant
  // holding the bytes; the comment as counted text.
  void RaiseReception(std::int32_t channel, VARIANT* buffer) { RaiseData(DISPID_OnReception, channel, buffer); }
  void RaiseTransmission(std::int32_t channel, VARIANT* buffer) { RaiseData(DISPID_OnTransmission, channel, buffer); }
  void RaiseAsynchError(std::int32_t code, std::string_view comment);

 private:
  void RaiseData(DISPID member, std::int32_t channel, VARIANT* buffer);
  void Raise(DISPID member, VARIANT (&args)[2]);

  IConnectionPointContainer* container_;
  // The listeners, one counted reference each (an empty place is a free one),
  // given back by Unadvise or when the node goes. No lock, by contract: clients
  // connect before the node is opened and disconnect after it is closed, so
  // the list does not change while any thread raises events.
  std::vector<ComPtr<IDispatch>> listeners_;
};
