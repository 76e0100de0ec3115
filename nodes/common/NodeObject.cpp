#include "NodeObject.h"

#include "ErrorInfo.h"
#include "Identities.h"
#include "NodeDispatch.h"
#include "PropertyText.h"
#include "ServerEntry.h"

NodeObject::NodeObject(const ServerDescription& server, const StringTable& strings)
    : server_(server), strings_(strings) {
  ServerObjectCreated();
}

NodeObject::~NodeObject() {
  ServerObjectDestroyed();
}

HRESULT NodeObject::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_INode)
    *object = static_cast<INode*>(this);
  else if (riid == IID_ISupportErrorInfo)
    *object = static_cast<ISupportErrorInfo*>(this);
  else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
    *object = static_cast<IProvideClassInfo2*>(this);
  else if (riid == IID_IConnectionPointContainer)
    *object = static_cast<IConnectionPointContainer*>(this);
  else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

std::uint32_t NodeObject::AddRef() {
  return ++refs_;
}

std::uint32_t NodeObject::Release() {
  const std::uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT NodeObject::GetTypeInfoCount(std::uint32_t* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT NodeObject::GetTypeInfo(std::uint32_t index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return MakeStatus(0x8002000Bu);  // DISP_E_BADINDEX
  *info = InterfaceTypeInfo(INodeDescription());
  return S_OK;
}

HRESULT NodeObject::GetIDsOfNames(REFIID, OLECHAR** names, std::uint32_t count, LCID, DISPID* ids) {
  return InterfaceTypeInfo(INodeDescription())->GetIDsOfNames(names, count, ids);
}

HRESULT NodeObject::Invoke(DISPID member, REFIID, LCID, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  return InvokeNodeOperation(this, member, flags, params, result, excepInfo, argErr);
}

HRESULT NodeObject::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID_INode ? S_OK : S_FALSE;
}

HRESULT NodeObject::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = CoClassTypeInfo(server_);
  return S_OK;
}

HRESULT NodeObject::GetGUID(std::uint32_t guidKind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (guidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = DIID__INodeEvents;
  return S_OK;
}

HRESULT NodeObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT NodeObject::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (!(riid == DIID__INodeEvents)) return CONNECT_E_NOCONNECTION;
  *point = &events_;
  events_.AddRef();
  return S_OK;
}

HRESULT NodeObject::GetFirstProperty(std::int32_t* Index) {
  if (!Index) return FailBare(E_POINTER);
  *Index = 0;
  return S_OK;
}

HRESULT NodeObject::GetNextProperty(std::int32_t* Index, BSTR* Name) {
  if (!Index || !Name) return FailBare(E_POINTER);
  *Name = nullptr;
  const auto names = PropertyNames();
  const auto count = static_cast<std::int32_t>(names.size());
  if (*Index < 0 || *Index >= count) return FailFormatted(MSG_BAD_INDEX, {*Index});
  const char* name = names[static_cast<std::size_t>(*Index)];
  *Name = BstrFromUtf8(name ? name : "");
  *Index = *Index + 1 >= count ? 0 : *Index + 1;
  return S_OK;
}

HRESULT NodeObject::FailWith(int number) {
  RecordErrorInfo(server_.progId, strings_.Load(number));
  return MessageStatus(number);
}

HRESULT NodeObject::FailFormatted(int number, std::initializer_list<StringTable::Argument> arguments) {
  RecordErrorInfo(server_.progId, strings_.Format(number, arguments));
  return DISP_E_EXCEPTION;
}

HRESULT NodeObject::FailBare(HRESULT status) {
  SetErrorInfo(0, nullptr);
  return status;
}

HRESULT NodeObject::LookUpProperty(BSTR name, int* index) {
  const std::string text = Utf8FromBstr(name);
  *index = FindPropertyName(PropertyNames(), text);
  if (*index < 0) return FailFormatted(MSG_BAD_PROPERTY_NAME, {std::string_view(text)});
  return S_OK;
}
