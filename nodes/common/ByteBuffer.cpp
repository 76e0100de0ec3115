#include "ByteBuffer.h"

#include <cstring>

VARIANT MakeByteBuffer(std::span<const std::uint8_t> bytes) {
  VARIANT v;
  VariantInit(&v);
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<std::uint32_t>(bytes.size()));
  if (!array) return v;
  if (!bytes.empty()) std::memcpy(array->pvData, bytes.data(), bytes.size());
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = array;
  return v;
}

bool IsByteBuffer(const VARIANT& value) {
  return value.vt == (VT_ARRAY | VT_UI1) && value.parray && value.parray->cDims == 1 && value.parray->vt == VT_UI1;
}

std::vector<std::uint8_t> BytesOf(const VARIANT& value) {
  const VARIANT* v = &value;
  if (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal) v = v->pvarVal;
  if (!IsByteBuffer(*v)) return {};
  const auto* data = static_cast<const std::uint8_t*>(v->parray->pvData);
  return std::vector<std::uint8_t>(data, data + v->parray->rgsabound[0].cElements);
}
