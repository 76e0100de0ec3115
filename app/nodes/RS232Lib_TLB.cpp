#include "RS232Lib_TLB.h"

#include "ComHolders.h"
#include "ErrorInfo.h"

namespace {
// Creates the object, asks it for its basic interface and then for INode.
HRESULT CreateByClass(REFCLSID clsid, INode** node) {
  *node = nullptr;
  // The runtime leaves an error object only for some failures (a library that
  // does not load): start from none, so that a stale one is never taken for it.
  SetErrorInfo(0, nullptr);
  ComPtr<IUnknown> object;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                      object.VoidAddressOf());
  if (FAILED(hr)) return hr;
  return object->QueryInterface(IID_INode, reinterpret_cast<void**>(node));
}
}  // namespace

HRESULT CoRS232Node::Create(INode** node) {
  return CreateByClass(CLSID_RS232Node, node);
}
HRESULT CoTavarnelNode::Create(INode** node) {
  return CreateByClass(CLSID_TavarnelNode, node);
}
