#include <cstdlib>
#include <cstring>
#include <string>

#include "ComHolders.h"
#include "ComTypes.h"
#include "Interfaces.h"

void VariantInit(VARIANT* v) {
  if (!v) return;
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY)
      SafeArrayDestroy(v->parray);
    else if (v->vt == VT_BSTR)
      SysFreeString(v->bstrVal);
    else if ((v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) && v->punkVal)
      v->punkVal->Release();
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT tmp = *src;
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayCopy(src->parray, &tmp.parray);
      if (FAILED(hr)) return hr;
    } else if (src->vt == VT_BSTR) {
      if (src->bstrVal) {
        tmp.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
        if (!tmp.bstrVal) return E_OUTOFMEMORY;
      }
    } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal) {
      src->punkVal->AddRef();
    }
  }
  VariantClear(dest);
  *dest = tmp;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
  if (!src->byref) return E_INVALIDARG;
  const VARTYPE base = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
  if (base == VT_VARIANT) return VariantCopyInd(dest, src->pvarVal);
  VARIANT direct;
  VariantInit(&direct);
  direct.vt = base;
  if (base & VT_ARRAY)
    direct.parray = *src->pparray;
  else if (base == VT_BSTR)
    direct.bstrVal = *src->pbstrVal;
  else if (base == VT_I4)
    direct.lVal = *src->plVal;
  else if (base == VT_I2)
    direct.iVal = *src->piVal;
  else if (base == VT_UI1)
    direct.bVal = *src->pbVal;
  else
    return DISP_E_BADVARTYPE;
  return VariantCopy(dest, &direct);  // direct borrows; VariantCopy duplicates
}

namespace {
// Decimal text to a 64-bit value; false for anything but optional blanks,
// an optional sign and digits.
bool ParseInteger(const std::string& text, long long* out) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == ' ' || text[i] == '\t') break;
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
    if (value > 0xFFFFFFFFLL) return false;
  }
  for (; i < text.size(); ++i)
    if (text[i] != ' ' && text[i] != '\t') return false;
  *out = negative ? -value : value;
  return true;
}
}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  VariantHolder value;
  HRESULT hr = VariantCopyInd(value.Get(), src);
  if (FAILED(hr)) return hr;
  long long number = 0;
  bool numeric = true;
  switch (value->vt) {
    case VT_EMPTY:
      number = 0;
      break;
    case VT_UI1:
      number = value->bVal;
      break;
    case VT_I2:
      number = value->iVal;
      break;
    case VT_I4:
      number = value->lVal;
      break;
    case VT_BOOL:
      number = value->boolVal;
      break;
    case VT_BSTR:
      numeric = false;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  VariantHolder result;
  result->vt = vt;
  if (vt == VT_BSTR) {
    result->bstrVal = numeric ? BstrFromUtf8(std::to_string(number))
                              : SysAllocStringLen(value->bstrVal, SysStringLen(value->bstrVal));
    if (!result->bstrVal) result->bstrVal = SysAllocStringLen(u"", 0);
  } else {
    if (!numeric && !ParseInteger(Utf8FromBstr(value->bstrVal), &number)) return DISP_E_TYPEMISMATCH;
    const bool fits = (vt == VT_I4 && number >= INT32_MIN && number <= INT32_MAX) ||
                      (vt == VT_I2 && number >= INT16_MIN && number <= INT16_MAX) ||
                      (vt == VT_UI1 && number >= 0 && number <= 255);
    if (vt != VT_I4 && vt != VT_I2 && vt != VT_UI1) return DISP_E_TYPEMISMATCH;
    if (!fits) return MakeStatus(0x8002000Au);  // DISP_E_OVERFLOW
    if (vt == VT_I4)
      result->lVal = static_cast<std::int32_t>(number);
    else if (vt == VT_I2)
      result->iVal = static_cast<std::int16_t>(number);
    else
      result->bVal = static_cast<std::uint8_t>(number);
  }
  VariantClear(dest);
  *dest = result.Detach();
  return S_OK;
}
