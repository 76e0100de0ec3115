#include "RS232Lib_TLB.h"

namespace {
// Creates the object, asks it for its basic interface and then for INode.
HRESULT CreateByClass(REFCLSID clsid, INode** node) {
  *node = nullptr;
  IUnknown* object = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&object));
  if (FAILED(hr)) return hr;
  hr = object->QueryInterface(IID_INode, reinterpret_cast<void**>(node));
  object->Release();
  return hr;
}
}  // namespace

HRESULT CoRS232Node::Create(INode** node) { return CreateByClass(CLSID_RS232Node, node); }
HRESULT CoTavarnelNode::Create(INode** node) { return CreateByClass(CLSID_TavarnelNode, node); }
