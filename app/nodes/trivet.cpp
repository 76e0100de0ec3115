#include "trivet.h"

#include <cstdio>

#include "ErrorInfo.h"

std::string NodeErrorMessage(HRESULT status, const std::string& description) {
  std::string message = description;
  while (!message.empty()) {
    const unsigned char last = static_cast<unsigned char>(message.back());
    if (last == '.' || last == ' ' || last < 0x20 || last == 0x7F)
      message.pop_back();
    else
      break;
  }
  if (!message.empty()) return message;
  message = SystemErrorText(status);
  if (!message.empty()) return message;
  char text[32];
  std::snprintf(text, sizeof text, "OLE error %.8x", static_cast<unsigned>(status));
  return text;
}

void CheckNodeStatus(HRESULT status, IUnknown* node) {
  if (SUCCEEDED(status)) return;
  ErrorFields fields;
  // A node's error object counts only when the node says INode supports them;
  // without a node (a creation failure) the runtime's own object counts, such
  // as the loader's message for a library that does not load.
  bool take = !node;
  if (ComPtr<ISupportErrorInfo> support;
      node && SUCCEEDED(node->QueryInterface(IID_ISupportErrorInfo, support.VoidAddressOf())))
    take = support->InterfaceSupportsErrorInfo(IID_INode) == S_OK;
  if (ComPtr<IErrorInfo> info; take && GetErrorInfo(0, info.AddressOf()) == S_OK && info)
    fields = ReadErrorFields(info.Get());
  throw ENodeError(NodeErrorMessage(status, fields.description), status, fields.source, fields.helpFile,
                   fields.helpContext);
}

namespace {
// An empty Param: a variant with no value.
VARIANT EmptyParam() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

// An event's number argument (channel or code); 0 when it is no number.
std::int32_t NumberOf(const VARIANT& argument) {
  VariantHolder number;
  if (FAILED(VariantChangeType(number.Get(), &argument, 0, VT_I4))) return 0;
  return number->lVal;
}

// An event's text argument; a null or unconvertible one is an empty text.
std::string TextOf(const VARIANT& argument) {
  VariantHolder text;
  if (FAILED(VariantChangeType(text.Get(), &argument, 0, VT_BSTR))) return {};
  return Utf8FromBstr(text->bstrVal);
}

// Owns a BSTR for the length of a call.
struct Text {
  BSTR value;
  explicit Text(const std::string& s) : value(BstrFromUtf8(s)) {}
  ~Text() { SysFreeString(value); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
};
}  // namespace

// ---------------------------------------------------------------- sink

TNodeEventSink::TNodeEventSink(TNode* owner, INode* source)
    : owner_(owner), source_(ComPtr<INode>::Share(source)), eventInterface_(DIID__INodeEvents) {
  // Connect to the node's event point; any failure leaves the sink
  // unconnected (cookie 0): the TNode works but hears nothing.
  if (const ComPtr<IConnectionPoint> point = EventPoint()) {
    std::uint32_t cookie = 0;
    if (SUCCEEDED(point->Advise(static_cast<IDispatch*>(this), &cookie))) cookie_ = cookie;
  }
}

TNodeEventSink::~TNodeEventSink() {
  if (!cookie_) return;
  if (const ComPtr<IConnectionPoint> point = EventPoint()) point->Unadvise(cookie_);
}

ComPtr<IConnectionPoint> TNodeEventSink::EventPoint() const {
  ComPtr<IConnectionPointContainer> container;
  if (!source_ || FAILED(source_->QueryInterface(IID_IConnectionPointContainer, container.VoidAddressOf()))) return {};
  ComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(eventInterface_, point.AddressOf()))) return {};
  return point;
}

HRESULT TNodeEventSink::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == eventInterface_) {
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT TNodeEventSink::GetTypeInfoCount(std::uint32_t* count) {
  if (count) *count = 0;
  return S_OK;
}

HRESULT TNodeEventSink::Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                               std::uint32_t*) {
  if (!params || params->cArgs < 2 || !params->rgvarg) return S_OK;
  // Arguments arrive last-first: rgvarg[1] is the channel or code, rgvarg[0] the buffer or comment.
  const std::int32_t number = NumberOf(params->rgvarg[1]);
  try {
    if (member == NodeEventsDispId::OnReception || member == NodeEventsDispId::OnTransmission) {
      const TNodeDataEvent& handler = member == NodeEventsDispId::OnReception ? OnReception : OnTransmission;
      if (!handler) return S_OK;
      VariantHolder copy;
      VariantCopyInd(copy.Get(), &params->rgvarg[0]);
      handler(owner_, number, *copy);
    } else if (member == NodeEventsDispId::OnAsynchError) {
      if (!OnAsynchError) return S_OK;
      OnAsynchError(owner_, number, TextOf(params->rgvarg[0]));
    }
  } catch (...) {
    // A handler's failure must not unwind into the node that raised the event
    // (it runs on the node's thread, under no caller of ours): it is dropped
    // here, as the node's own event contract ignores the listener's result.
  }
  return S_OK;
}

// ---------------------------------------------------------------- node

TNode::TNode() {
  VariantInit(&kind_);
  kind_.vt = VT_I4;
  kind_.lVal = 0;
}

void TNode::Initialize() {
  CreateNode();
  sink_ = new TNodeEventSink(this, node_.Get());
}

TNode::~TNode() {
  ReleaseNode();
}

void TNode::ReleaseNode() {
  if (node_) {
    // The failure of a Close during destruction has no one to go to; the
    // node is released all the same.
    node_->Close(EmptyParam());
  }
  delete sink_;
  sink_ = nullptr;
  node_.Reset();
}

void TNode::Open() {
  CheckNodeStatus(node_->Connect(EmptyParam()), node_.Get());
  std::int32_t channel = 0;
  CheckNodeStatus(node_->AllocChannel(&channel), node_.Get());
  channel_ = channel;
}

void TNode::Close() {
  CheckNodeStatus(node_->ReleaseChannel(channel_), node_.Get());
  CheckNodeStatus(node_->Close(EmptyParam()), node_.Get());
}

void TNode::Transmit(std::int32_t Channel, const VARIANT& Kind, const VARIANT& Buffer) {
  CheckNodeStatus(node_->DoTransmit(Channel, Kind, Buffer), node_.Get());
}

void TNode::Receive(std::int32_t Channel, const VARIANT& Buffer) {
  CheckNodeStatus(node_->DoReceive(Channel, Buffer), node_.Get());
}

void TNode::SetProperty(const std::string& Name, const std::string& Value) {
  Text name(Name), value(Value);
  CheckNodeStatus(node_->SetProperty(name.value, value.value), node_.Get());
}

std::string TNode::GetProperty(const std::string& Name) {
  Text name(Name);
  BSTR value = nullptr;
  const HRESULT hr = node_->GetProperty(name.value, &value);
  const std::string result = Utf8FromBstr(value);
  SysFreeString(value);
  CheckNodeStatus(hr, node_.Get());
  return result;
}

bool TNode::SetLowerNode(TNode* lower) {
  lower_ = lower;
  lower_->SetOnReception([this](TNode*, std::int32_t channel, const VARIANT& buffer) { Receive(channel, buffer); });
  SetOnTransmission([this](TNode*, std::int32_t channel, const VARIANT& buffer) {
    // The lower node's refusal (a closed port, say) would otherwise be lost in
    // the event call and surface later as a time-out: it goes to this node's
    // error handler at once, with the lower node's message.
    try {
      lower_->Transmit(channel, kind_, buffer);
    } catch (const ENodeError& e) {
      if (sink_->OnAsynchError) sink_->OnAsynchError(this, e.code(), e.what());
    }
  });
  return true;
}
