// Test objects whose reference counts a test reads: they count, but never
// free themselves, so that a missing Release shows as a count above the
// expected one and an extra Release as a count below it (not as a crash).
// Each starts with one reference, the test's own.
#pragma once

#include <atomic>

#include "Identities.h"
#include "Interfaces.h"

template <class Interface>
class Counted : public Interface {
 public:
  std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++refs_); }
  std::uint32_t Release() override { return static_cast<std::uint32_t>(--refs_); }
  // Signed, so that an extra Release reads as 0 or less rather than as a huge count.
  int refs() const { return refs_; }

 protected:
  // Answers for IUnknown and `own` (and `also`, when given) as Interface, with a counted reference.
  HRESULT Answer(REFIID riid, void** object, const IID& own, const IID* also = nullptr) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == own || (also && riid == *also)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  // Atomic: a node's own thread may count a listener while the test reads.
  std::atomic<int> refs_{1};
};

// An event listener that counts its references and the events it hears.
class CountedListener final : public Counted<IDispatch> {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return Answer(riid, object, IID_IDispatch, &DIID__INodeEvents);
  }
  HRESULT GetTypeInfoCount(std::uint32_t* n) override { return *n = 0, S_OK; }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, std::uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, std::uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*, std::uint32_t*) override {
    ++events;
    return S_OK;
  }
  std::atomic<int> events{0};
};

// An error object that counts its references; its description is "counted".
class CountedErrorInfo final : public Counted<IErrorInfo> {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override { return Answer(riid, object, IID_IErrorInfo); }
  HRESULT GetGUID(GUID* guid) override { return *guid = GUID_NULL, S_OK; }
  HRESULT GetSource(BSTR* text) override { return *text = nullptr, S_OK; }
  HRESULT GetDescription(BSTR* text) override { return *text = BstrFromUtf8("counted"), S_OK; }
  HRESULT GetHelpFile(BSTR* text) override { return *text = nullptr, S_OK; }
  HRESULT GetHelpContext(std::uint32_t* context) override { return *context = 0, S_OK; }
};

// The count of a real object, read through its own AddRef and Release.
inline std::uint32_t CountOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}
