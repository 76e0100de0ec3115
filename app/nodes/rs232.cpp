#include "rs232.h"

TRS232Object::TRS232Object() {
  Initialize();
}

void TRS232Object::CreateNode() {
  INode* node = nullptr;
  const HRESULT hr = CoRS232Node::Create(&node);
  if (FAILED(hr)) CheckNodeStatus(hr, nullptr);
  node_ = node;
}
