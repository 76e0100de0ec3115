#include "NodeEvents.h"

#include "Identities.h"

HRESULT NodeEvents::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT NodeEvents::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = DIID__INodeEvents;
  return S_OK;
}

HRESULT NodeEvents::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = container_;
  container_->AddRef();
  return S_OK;
}

HRESULT NodeEvents::Advise(IUnknown* sink, std::uint32_t* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  ComPtr<IDispatch> listener;
  if (FAILED(sink->QueryInterface(DIID__INodeEvents, listener.VoidAddressOf())) || !listener)
    return CONNECT_E_CANNOTCONNECT;
  std::size_t place = 0;
  while (place < listeners_.size() && listeners_[place]) ++place;
  if (place == listeners_.size())
    listeners_.push_back(std::move(listener));
  else
    listeners_[place] = std::move(listener);
  *cookie = static_cast<std::uint32_t>(place + 1);
  return S_OK;
}

HRESULT NodeEvents::Unadvise(std::uint32_t cookie) {
  if (cookie == 0 || cookie > listeners_.size() || !listeners_[cookie - 1]) return CONNECT_E_NOCONNECTION;
  listeners_[cookie - 1].Reset();
  return S_OK;
}

HRESULT NodeEvents::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

void NodeEvents::Raise(DISPID member, VARIANT (&args)[2]) {
  DISPPARAMS params{args, nullptr, 2, 0};
  for (const ComPtr<IDispatch>& listener : listeners_)
    if (listener)
      listener->Invoke(member, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

void NodeEvents::RaiseData(DISPID member, std::int32_t channel, VARIANT* buffer) {
  VARIANT args[2];  // last argument first: the buffer, then the channel
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_VARIANT | VT_BYREF;
  args[0].pvarVal = buffer;
  args[1].vt = VT_I4;
  args[1].lVal = channel;
  Raise(member, args);
}

void NodeEvents::RaiseAsynchError(std::int32_t code, std::string_view comment) {
  VariantHolder text;  // owns the comment for the length of the calls
  text->vt = VT_BSTR;
  text->bstrVal = BstrFromUtf8(comment);
  VARIANT args[2];
  args[0] = *text;  // lent to the listeners, as every in-argument is
  VariantInit(&args[1]);
  args[1].vt = VT_I4;
  args[1].lVal = code;
  Raise(DISPID_OnAsynchError, args);
}
