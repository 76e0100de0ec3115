// One-dimensional arrays of fixed-size elements (bytes, integers, variants).
#include <cstdlib>
#include <cstring>

#include "ComTypes.h"

namespace {
std::uint32_t ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_UI1:
      return 1;
    case VT_I2:
      return 2;
    case VT_I4:
      return 4;
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}
}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lowerBound, std::uint32_t count) {
  const std::uint32_t size = ElementSize(vt);
  if (size == 0 || count > 0x7FFFFFFFu / size) return nullptr;
  auto* array = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
  if (!array) return nullptr;
  array->cDims = 1;
  array->cbElements = size;
  array->vt = vt;
  array->rgsabound[0].cElements = count;
  array->rgsabound[0].lLbound = lowerBound;
  // calloc(0) may return null; keep a valid pointer so that empty arrays behave like others.
  array->pvData = std::calloc(count ? count : 1, size);
  if (!array->pvData) {
    std::free(array);
    return nullptr;
  }
  if (vt == VT_VARIANT) {
    auto* items = static_cast<VARIANT*>(array->pvData);
    for (std::uint32_t i = 0; i < count; ++i) VariantInit(&items[i]);
  }
  return array;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (!array) return S_OK;
  if (array->cLocks) return MakeStatus(0x8002000Du);  // DISP_E_ARRAYISLOCKED
  if (array->vt == VT_VARIANT) {
    auto* items = static_cast<VARIANT*>(array->pvData);
    for (std::uint32_t i = 0; i < array->rgsabound[0].cElements; ++i) VariantClear(&items[i]);
  }
  std::free(array->pvData);
  std::free(array);
  return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!array) return S_OK;
  SAFEARRAY* copy = SafeArrayCreateVector(array->vt, array->rgsabound[0].lLbound, array->rgsabound[0].cElements);
  if (!copy) return E_OUTOFMEMORY;
  if (array->vt == VT_VARIANT) {
    auto* from = static_cast<const VARIANT*>(array->pvData);
    auto* to = static_cast<VARIANT*>(copy->pvData);
    for (std::uint32_t i = 0; i < array->rgsabound[0].cElements; ++i) VariantCopy(&to[i], &from[i]);
  } else if (array->rgsabound[0].cElements) {
    std::memcpy(copy->pvData, array->pvData, std::size_t{array->rgsabound[0].cElements} * array->cbElements);
  }
  *out = copy;
  return S_OK;
}

std::uint32_t SafeArrayGetDim(const SAFEARRAY* array) {
  return array ? array->cDims : 0;
}

HRESULT SafeArrayGetLBound(const SAFEARRAY* array, std::uint32_t dim, std::int32_t* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (dim != 1) return MakeStatus(0x8002000Bu);  // DISP_E_BADINDEX
  *bound = array->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* array, std::uint32_t dim, std::int32_t* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (dim != 1) return MakeStatus(0x8002000Bu);
  *bound = array->rgsabound[0].lLbound + static_cast<std::int32_t>(array->rgsabound[0].cElements) - 1;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (!array || !data) return E_INVALIDARG;
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
  if (!array) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}
