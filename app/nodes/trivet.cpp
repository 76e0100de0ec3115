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
  ISupportErrorInfo* support = nullptr;
  if (node && SUCCEEDED(node->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)))) {
    take = support->InterfaceSupportsErrorInfo(IID_INode) == S_OK;
    support->Release();
  }
  IErrorInfo* info = nullptr;
  if (take && GetErrorInfo(0, &info) == S_OK && info) {
    fields = ReadErrorFields(info);
    info->Release();
  }
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
    : owner_(owner), source_(source), eventInterface_(DIID__INodeEvents) {
  if (source_) source_->AddRef();
  // Connect to the node's event point; any failure leaves the sink
  // unconnected (cookie 0): the TNode works but hears nothing.
  IConnectionPointContainer* container = nullptr;
  if (!source_ || FAILED(source_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))))
    return;
  IConnectionPoint* point = nullptr;
  if (SUCCEEDED(container->FindConnectionPoint(eventInterface_, &point)) && point) {
    std::uint32_t cookie = 0;
    if (SUCCEEDED(point->Advise(static_cast<IDispatch*>(this), &cookie))) cookie_ = cookie;
    point->Release();
  }
  container->Release();
}

TNodeEventSink::~TNodeEventSink() {
  if (source_ && cookie_) {
    IConnectionPointContainer* container = nullptr;
    if (SUCCEEDED(source_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
      IConnectionPoint* point = nullptr;
      if (SUCCEEDED(container->FindConnectionPoint(eventInterface_, &point)) && point) {
        point->Unadvise(cookie_);
        point->Release();
      }
      container->Release();
    }
  }
  if (source_) source_->Release();
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
  VARIANT first;
  VariantInit(&first);
  if (FAILED(VariantChangeType(&first, &params->rgvarg[1], 0, VT_I4))) first.lVal = 0;
  const std::int32_t number = first.lVal;
  VariantClear(&first);
  try {
    if (member == NodeEventsDispId::OnReception || member == NodeEventsDispId::OnTransmission) {
      const TNodeDataEvent& handler = member == NodeEventsDispId::OnReception ? OnReception : OnTransmission;
      if (!handler) return S_OK;
      VARIANT copy;
      VariantInit(&copy);
      VariantCopyInd(&copy, &params->rgvarg[0]);
      try {
        handler(owner_, number, copy);
      } catch (...) {
        VariantClear(&copy);
        throw;
      }
      VariantClear(&copy);
    } else if (member == NodeEventsDispId::OnAsynchError) {
      if (!OnAsynchError) return S_OK;
      VARIANT text;
      VariantInit(&text);
      std::string comment;
      // A null comment reaches the handler as an empty text.
      if (SUCCEEDED(VariantChangeType(&text, &params->rgvarg[0], 0, VT_BSTR))) comment = Utf8FromBstr(text.bstrVal);
      VariantClear(&text);
      OnAsynchError(owner_, number, comment);
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
  sink_ = new TNodeEventSink(this, node_);
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
  if (node_) node_->Release();
  node_ = nullptr;
}

void TNode::Open() {
  CheckNodeStatus(node_->Connect(EmptyParam()), node_);
  std::int32_t channel = 0;
  CheckNodeStatus(node_->AllocChannel(&channel), node_);
  channel_ = channel;
}

void TNode::Close() {
  CheckNodeStatus(node_->ReleaseChannel(channel_), node_);
  CheckNodeStatus(node_->Close(EmptyParam()), node_);
}

void TNode::Transmit(std::int32_t Channel, const VARIANT& Kind, const VARIANT& Buffer) {
  CheckNodeStatus(node_->DoTransmit(Channel, Kind, Buffer), node_);
}

void TNode::Receive(std::int32_t Channel, const VARIANT& Buffer) {
  CheckNodeStatus(node_->DoReceive(Channel, Buffer), node_);
}

void TNode::SetProperty(const std::string& Name, const std::string& Value) {
  Text name(Name), value(Value);
  CheckNodeStatus(node_->SetProperty(name.value, value.value), node_);
}

std::string TNode::GetProperty(const std::string& Name) {
  Text name(Name);
  BSTR value = nullptr;
  const HRESULT hr = node_->GetProperty(name.value, &value);
  const std::string result = Utf8FromBstr(value);
  SysFreeString(value);
  CheckNodeStatus(hr, node_);
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
