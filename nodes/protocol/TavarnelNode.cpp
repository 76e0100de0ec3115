#include "TavarnelNode.h"

#include <system_error>

#include "ByteBuffer.h"
#include "ComHolders.h"
#include "ErrorInfo.h"
#include "PropertyText.h"
#include "RequestFrame.h"
#include "TavarnelServer.h"
#include "TavarnelStrings.h"

namespace {

constexpr const char* kPropertyNames[] = {"TimeOut"};
// A node has one channel, number 0.
constexpr std::size_t kChannelCount = 1;

}  // namespace

TavarnelNode::TavarnelNode() : NodeObject(TavarnelServer(), TavarnelStrings()) {}

TavarnelNode::~TavarnelNode() {
  VARIANT empty;
  VariantInit(&empty);
  Close(empty);
}

std::span<const char* const> TavarnelNode::PropertyNames() const {
  return kPropertyNames;
}

std::shared_ptr<TimeOutWatcher> TavarnelNode::Session() const {
  std::lock_guard<std::mutex> guard(sessionLock_);
  return watcher_;
}

HRESULT TavarnelNode::Connect(VARIANT) {
  JoinRetiredWatchers();
  std::lock_guard<std::mutex> guard(sessionLock_);
  if (watcher_) return S_OK;
  if (const HRESULT hr = ApplyProperties(); FAILED(hr)) return hr;
  // The watcher reports to this node's own listeners; Close joins it before the node goes.
  auto watcher = TimeOutWatcher::Create(kChannelCount, [this] { ReportTimeOut(); });
  try {
    watcher->Start();
  } catch (const std::system_error& e) {  // no thread to be had: the node stays closed
    RecordErrorInfo(server().progId, std::string("Cannot start the time-out watcher: ") + e.what());
    return E_FAIL;
  }
  watcher_ = std::move(watcher);
  return S_OK;
}

HRESULT TavarnelNode::Close(VARIANT) {
  std::shared_ptr<TimeOutWatcher> watcher;
  {
    std::lock_guard<std::mutex> guard(sessionLock_);
    watcher.swap(watcher_);
  }
  // Outside the lock: the report in progress may call back into the node.
  if (watcher && !watcher->Shutdown()) {
    std::lock_guard<std::mutex> guard(sessionLock_);
    retired_.push_back(std::move(watcher));
  }
  JoinRetiredWatchers();
  return S_OK;
}

void TavarnelNode::JoinRetiredWatchers() {
  std::vector<std::shared_ptr<TimeOutWatcher>> retired;
  {
    std::lock_guard<std::mutex> guard(sessionLock_);
    retired.swap(retired_);
  }
  std::vector<std::shared_ptr<TimeOutWatcher>> running;
  for (auto& watcher : retired)
    if (!watcher->Shutdown()) running.push_back(std::move(watcher));
  if (running.empty()) return;
  std::lock_guard<std::mutex> guard(sessionLock_);
  retired_.insert(retired_.end(), running.begin(), running.end());
}

bool TavarnelNode::Check(const VARIANT& kind, const VARIANT& buffer, CheckedRequest* request, HRESULT* status) {
  *request = CheckRequest(kind, buffer);
  switch (request->verdict) {
    case FrameVerdict::Accepted:
      return true;
    case FrameVerdict::KindNotSupported:
      *status = FailBare(E_NOTIMPL);
      return false;
    case FrameVerdict::BadlyFormatted:
      *status = FailWith(MSG_BAD_PARAMETER);
      return false;
  }
  *status = FailBare(E_FAIL);
  return false;
}

void TavarnelNode::RaiseTransmission(std::int32_t channel, const std::vector<std::uint8_t>& frame) {
  VariantHolder copy = VariantHolder::Adopt(MakeByteBuffer(frame));
  events().RaiseTransmission(channel, copy.Get());
}

HRESULT TavarnelNode::DoTransmit(std::int32_t Channel, VARIANT Kind, VARIANT Buffer) {
  CheckedRequest request;
  HRESULT status = S_OK;
  if (!Check(Kind, Buffer, &request, &status)) return status;
  const auto watcher = Session();
  if (!watcher) return FailWith(MSG_NODE_CLOSED);
  // Armed before the frame goes down, so that an answer arriving while the
  // event is still being delivered is gathered.
  const bool ready = request.kind == AnswerExpected ? watcher->Arm(Channel) != 0 : watcher->IsAllocated(Channel);
  if (!ready) return FailFormatted(MSG_CHANNEL_UNKNOWN, {Channel});
  RaiseTransmission(Channel, request.bytes);
  return S_OK;
}

HRESULT TavarnelNode::DoReceive(std::int32_t Channel, VARIANT Buffer) {
  // The lower node's event hands a reference to the buffer; accept it as well as the buffer itself.
  const VARIANT* buffer = Buffer.vt == (VT_VARIANT | VT_BYREF) && Buffer.pvarVal ? Buffer.pvarVal : &Buffer;
  if (!IsByteBuffer(*buffer)) return FailWith(MSG_BAD_PARAMETER);
  const auto watcher = Session();
  if (!watcher) return S_OK;  // nothing is awaited by a closed node: the bytes are dropped
  const std::vector<std::uint8_t> bytes = BytesOf(*buffer);
  const auto frame = watcher->Gather(Channel, bytes);
  if (frame) {
    VariantHolder copy = VariantHolder::Adopt(MakeByteBuffer(*frame));
    events().RaiseReception(Channel, copy.Get());
  }
  return S_OK;
}

HRESULT TavarnelNode::DoSynchRequest(std::int32_t Channel, VARIANT Kind, VARIANT BuffIn, VARIANT* BuffOut) {
  CheckedRequest request;
  HRESULT status = S_OK;
  if (!Check(Kind, BuffIn, &request, &status)) return status;
  if (request.kind == AnswerExpected && !BuffOut) return FailBare(E_POINTER);
  const auto watcher = Session();
  if (!watcher) return FailWith(MSG_NODE_CLOSED);
  if (request.kind == NoAnswer) {
    if (!watcher->IsAllocated(Channel)) return FailFormatted(MSG_CHANNEL_UNKNOWN, {Channel});
    RaiseTransmission(Channel, request.bytes);
    return S_OK;
  }
  const ChannelTable::Ticket ticket = watcher->Arm(Channel);
  if (!ticket) return FailFormatted(MSG_CHANNEL_UNKNOWN, {Channel});
  RaiseTransmission(Channel, request.bytes);
  std::vector<std::uint8_t> answer;
  switch (watcher->AwaitAnswer(Channel, ticket, kSynchRequestLimit, &answer)) {
    case TimeOutWatcher::AnswerWait::Answered:
      *BuffOut = MakeByteBuffer(answer);
      return S_OK;
    case TimeOutWatcher::AnswerWait::NoAnswer:
      return FailWith(MSG_TIME_OUT);
    case TimeOutWatcher::AnswerWait::Closed:
      return FailWith(MSG_NODE_CLOSED);
  }
  return FailBare(E_FAIL);
}

HRESULT TavarnelNode::SetProperty(BSTR Name, BSTR Value) {
  std::lock_guard<std::mutex> guard(sessionLock_);
  if (watcher_) return FailWith(MSG_NOT_ALLOWED_OPEN);
  int index = 0;
  if (const HRESULT hr = LookUpProperty(Name, &index); FAILED(hr)) return hr;
  timeOut_ = ParseDecimal(Utf8FromBstr(Value));
  return S_OK;
}

HRESULT TavarnelNode::GetProperty(BSTR Name, BSTR* Value) {
  if (!Value) return FailBare(E_POINTER);
  *Value = nullptr;
  int index = 0;
  if (const HRESULT hr = LookUpProperty(Name, &index); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> guard(sessionLock_);
  *Value = BstrFromUtf8(StringTable::FormatText("%i", {timeOut_}));
  return S_OK;
}

HRESULT TavarnelNode::ApplyProperties() {
  return S_OK;
}

HRESULT TavarnelNode::AllocChannel(std::int32_t* Channel) {
  if (!Channel) return FailBare(E_POINTER);
  std::shared_ptr<TimeOutWatcher> watcher;
  std::int32_t timeOut;
  {
    std::lock_guard<std::mutex> guard(sessionLock_);
    watcher = watcher_;
    timeOut = timeOut_;
  }
  if (!watcher) return FailWith(MSG_NODE_CLOSED);
  const auto channel = watcher->Allocate(timeOut);
  if (!channel) return FailWith(MSG_NO_FREE_CHANNEL);
  *Channel = *channel;
  return S_OK;
}

HRESULT TavarnelNode::ReleaseChannel(std::int32_t Channel) {
  // A closed node has no channel left to release; like a number outside the table, that is no failure.
  if (const auto watcher = Session()) watcher->Release(Channel);
  return S_OK;
}

void TavarnelNode::ReportTimeOut() {
  events().RaiseAsynchError(MSG_TIME_OUT, strings().Load(MSG_TIME_OUT));
}
