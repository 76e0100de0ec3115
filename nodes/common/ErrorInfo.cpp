#include "ErrorInfo.h"

#include <atomic>

#include "ComHolders.h"
#include "Identities.h"

namespace {

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo)
      *object = static_cast<IErrorInfo*>(this);
    else if (riid == IID_ICreateErrorInfo)
      *object = static_cast<ICreateErrorInfo*>(this);
    else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return ++refs_; }
  std::uint32_t Release() override {
    const std::uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetGUID(GUID* guid) override { return guid ? (*guid = iid_, S_OK) : E_POINTER; }
  HRESULT GetSource(BSTR* out) override { return Give(source_, out); }
  HRESULT GetDescription(BSTR* out) override { return Give(description_, out); }
  HRESULT GetHelpFile(BSTR* out) override { return Give(helpFile_, out); }
  HRESULT GetHelpContext(std::uint32_t* out) override { return out ? (*out = helpContext_, S_OK) : E_POINTER; }

  HRESULT SetGUID(REFGUID guid) override { return iid_ = guid, S_OK; }
  HRESULT SetSource(const OLECHAR* text) override { return Take(text, source_); }
  HRESULT SetDescription(const OLECHAR* text) override { return Take(text, description_); }
  HRESULT SetHelpFile(const OLECHAR* text) override { return Take(text, helpFile_); }
  HRESULT SetHelpContext(std::uint32_t context) override { return helpContext_ = context, S_OK; }

 private:
  ~ErrorObject() = default;
  static HRESULT Give(const std::u16string& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
    return S_OK;
  }
  static HRESULT Take(const OLECHAR* text, std::u16string& field) {
    field = text ? std::u16string(text) : std::u16string();
    return S_OK;
  }

  std::atomic<std::uint32_t> refs_{1};
  GUID iid_ = GUID_NULL;
  std::u16string source_, description_, helpFile_;
  std::uint32_t helpContext_ = 0;
};

// The calling thread's error object, given back when the thread ends.
thread_local ComPtr<IErrorInfo> currentError;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
  if (!out) return E_POINTER;
  *out = new ErrorObject;  // ErrorObject derives from ICreateErrorInfo once
  return S_OK;
}

HRESULT SetErrorInfo(std::uint32_t, IErrorInfo* info) {
  currentError = ComPtr<IErrorInfo>::Share(info);
  return S_OK;
}

HRESULT GetErrorInfo(std::uint32_t, IErrorInfo** info) {
  if (!info) return E_POINTER;
  *info = currentError.Detach();  // ownership moves to the caller
  return *info ? S_OK : S_FALSE;
}

HRESULT RecordErrorInfo(std::string_view source, std::string_view description, const GUID& iid,
                        std::string_view helpFile, std::uint32_t helpContext) {
  ComPtr<ICreateErrorInfo> create;
  HRESULT hr = CreateErrorInfo(create.AddressOf());
  if (FAILED(hr)) return hr;
  create->SetGUID(iid);
  create->SetSource(Utf16FromUtf8(source).c_str());
  create->SetDescription(Utf16FromUtf8(description).c_str());
  create->SetHelpFile(Utf16FromUtf8(helpFile).c_str());
  create->SetHelpContext(helpContext);
  ComPtr<IErrorInfo> info;
  hr = create->QueryInterface(IID_IErrorInfo, info.VoidAddressOf());
  if (SUCCEEDED(hr)) SetErrorInfo(0, info.Get());
  return hr;
}

ErrorFields ReadErrorFields(IErrorInfo* info) {
  ErrorFields fields;
  if (!info) return fields;
  BSTR text = nullptr;
  info->GetGUID(&fields.iid);
  if (SUCCEEDED(info->GetSource(&text))) fields.source = Utf8FromBstr(text);
  SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(info->GetDescription(&text))) fields.description = Utf8FromBstr(text);
  SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(info->GetHelpFile(&text))) fields.helpFile = Utf8FromBstr(text);
  SysFreeString(text);
  info->GetHelpContext(&fields.helpContext);
  return fields;
}
