#include "NodeDispatch.h"

#include "ComHolders.h"
#include "ErrorInfo.h"
#include "NodeTypeInfo.h"

namespace {

constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeStatus(0x80020004u);
constexpr HRESULT DISP_E_NONAMEDARGS = MakeStatus(0x80020007u);

// Arguments by position, first parameter = index 0 (they are stored last-first).
class Arguments {
 public:
  explicit Arguments(DISPPARAMS* p) : p_(p) {}
  std::uint32_t count() const { return p_ ? p_->cArgs : 0; }
  VARIANT* at(std::uint32_t i) const { return &p_->rgvarg[p_->cArgs - 1 - i]; }

 private:
  DISPPARAMS* p_;
};

void FillException(HRESULT status, EXCEPINFO* excepInfo) {
  if (!excepInfo) return;
  *excepInfo = EXCEPINFO{};
  excepInfo->scode = status;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.AddressOf()) == S_OK && info) {
    info->GetSource(&excepInfo->bstrSource);
    info->GetDescription(&excepInfo->bstrDescription);
    info->GetHelpFile(&excepInfo->bstrHelpFile);
    info->GetHelpContext(&excepInfo->dwHelpContext);
  }
}

}  // namespace

HRESULT InvokeNodeOperation(INode* node, DISPID member, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  const FuncDesc* f = FindFunction(INodeDescription(), member);
  if (!f) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (params && params->cNamedArgs) return DISP_E_NONAMEDARGS;
  std::uint32_t expected = 0;
  for (std::uint32_t i = 0; i < f->paramCount; ++i)
    if (!(f->params[i].flags & PARAMFLAG_FRETVAL)) ++expected;
  Arguments args(params);
  if (args.count() != expected) return DISP_E_BADPARAMCOUNT;

  // Converted in-arguments, cleared on every way out.
  VariantHolder a0, a1;
  auto toI4 = [&](std::uint32_t i, VariantHolder& out) {
    if (FAILED(VariantChangeType(out.Get(), args.at(i), 0, VT_I4))) {
      if (argErr) *argErr = i;
      return false;
    }
    return true;
  };
  auto toBstr = [&](std::uint32_t i, VariantHolder& out) {
    if (FAILED(VariantChangeType(out.Get(), args.at(i), 0, VT_BSTR))) {
      if (argErr) *argErr = i;
      return false;
    }
    return true;
  };
  auto byRef = [&](std::uint32_t i, VARTYPE vt) {
    if (args.at(i)->vt != (vt | VT_BYREF) || !args.at(i)->byref) {
      if (argErr) *argErr = i;
      return false;
    }
    return true;
  };

  HRESULT hr = S_OK;
  VariantHolder out;  // the result, the caller's only when the operation succeeds
  switch (member) {
    case DISPID_Connect:
      hr = node->Connect(*args.at(0));
      break;
    case DISPID_Close:
      hr = node->Close(*args.at(0));
      break;
    case DISPID_DoTransmit:
      if (!toI4(0, a0)) return DISP_E_TYPEMISMATCH;
      hr = node->DoTransmit(a0->lVal, *args.at(1), *args.at(2));
      break;
    case DISPID_DoReceive:
      if (!toI4(0, a0)) return DISP_E_TYPEMISMATCH;
      hr = node->DoReceive(a0->lVal, *args.at(1));
      break;
    case DISPID_DoSynchRequest:
      if (!toI4(0, a0)) return DISP_E_TYPEMISMATCH;
      if (!byRef(3, VT_VARIANT)) return DISP_E_TYPEMISMATCH;
      hr = node->DoSynchRequest(a0->lVal, *args.at(1), *args.at(2), args.at(3)->pvarVal);
      break;
    case DISPID_SetProperty:
      if (!toBstr(0, a0) || !toBstr(1, a1)) return DISP_E_TYPEMISMATCH;
      hr = node->SetProperty(a0->bstrVal, a1->bstrVal);
      break;
    case DISPID_GetProperty:
      if (!toBstr(0, a0)) return DISP_E_TYPEMISMATCH;
      out->vt = VT_BSTR;
      hr = node->GetProperty(a0->bstrVal, &out->bstrVal);
      break;
    case DISPID_ApplyProperties:
      hr = node->ApplyProperties();
      break;
    case DISPID_GetFirstProperty:
      out->vt = VT_I4;
      hr = node->GetFirstProperty(&out->lVal);
      break;
    case DISPID_GetNextProperty:
      if (!byRef(0, VT_I4)) return DISP_E_TYPEMISMATCH;
      out->vt = VT_BSTR;
      hr = node->GetNextProperty(args.at(0)->plVal, &out->bstrVal);
      break;
    case DISPID_AllocChannel:
      out->vt = VT_I4;
      hr = node->AllocChannel(&out->lVal);
      break;
    case DISPID_ReleaseChannel:
      if (!toI4(0, a0)) return DISP_E_TYPEMISMATCH;
      hr = node->ReleaseChannel(a0->lVal);
      break;
    default:
      return DISP_E_PARAMNOTFOUND;
  }
  if (FAILED(hr)) {
    FillException(hr, excepInfo);
    return DISP_E_EXCEPTION;
  }
  if (result) {
    VariantClear(result);
    *result = out.Detach();
  }
  return S_OK;
}
