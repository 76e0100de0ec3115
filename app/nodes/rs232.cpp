#include "rs232.h"

TRS232Object::TRS232Object() {
  Initialize();
}

void TRS232Object::CreateNode() {
  const HRESULT hr = CoRS232Node::Create(node_.AddressOf());
  if (FAILED(hr)) CheckNodeStatus(hr, nullptr);
}
