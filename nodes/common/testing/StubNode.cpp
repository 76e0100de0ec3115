#include "StubNode.h"

StubNode::StubNode(const ServerDescription& server, const StringTable& strings, std::vector<Property> properties)
    : NodeObject(server, strings) {
  for (Property& property : properties) {
    names_.push_back(property.name);
    values_.push_back(std::move(property.value));
  }
}

HRESULT StubNode::SetProperty(BSTR name, BSTR value) {
  int index = 0;
  if (HRESULT hr = LookUpProperty(name, &index); FAILED(hr)) return hr;
  std::string text = Utf8FromBstr(value);
  if (HRESULT hr = CheckProperty(index, text); FAILED(hr)) return hr;
  values_[index] = std::move(text);
  return S_OK;
}

HRESULT StubNode::GetProperty(BSTR name, BSTR* value) {
  int index = 0;
  *value = nullptr;
  if (HRESULT hr = LookUpProperty(name, &index); FAILED(hr)) return hr;
  *value = BstrFromUtf8(values_[index]);
  return S_OK;
}

HRESULT StubNode::CheckProperty(int, const std::string&) {
  return S_OK;
}
