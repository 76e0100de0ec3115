#include "RS232Node.h"

#include <system_error>
#include <utility>

#include "ByteBuffer.h"
#include "ErrorInfo.h"
#include "PollThread.h"
#include "PropertyText.h"
#include "RS232Server.h"

namespace {

enum : int { kSettingsProperty = 0, kCommPortProperty = 1 };

}  // namespace

RS232Node::RS232Node() : NodeObject(kRS232Server, kRS232Strings) {}

RS232Node::~RS232Node() {
  std::lock_guard<std::mutex> lifecycle(lifecycleLock_);
  Shutdown();
  SetErrorInfo(0, nullptr);
}

std::span<const char* const> RS232Node::PropertyNames() const {
  static const char* const names[] = {"Settings", "CommPort"};
  return names;
}

std::shared_ptr<PollThread> RS232Node::CurrentPollThread() const {
  std::lock_guard<std::mutex> slot(threadSlotLock_);
  return pollThread_;
}

PortConfiguration RS232Node::StoredConfiguration() const {
  std::lock_guard<std::mutex> guard(propertiesLock_);
  return {Utf8FromUtf16(settings_), static_cast<std::int16_t>(commPort_)};
}

HRESULT RS232Node::ReportControlFailure(ComPtr<IErrorInfo> controlError) {
  ErrorFields fields;
  if (controlError) fields = ReadErrorFields(controlError.Get());
  if (fields.description.empty()) {
    RecordErrorInfo(SerialPort::kProgId, "Unknown Error");
    return MakeStatus(0x80040000u);
  }
  RecordErrorInfo(SerialPort::kProgId, fields.description, fields.iid, fields.helpFile, fields.helpContext);
  return DISP_E_EXCEPTION;
}

void RS232Node::NoteClosedBecause(const std::string& why) {
  if (why.empty() || closedBecause_.empty()) closedBecause_ = why;
}

HRESULT RS232Node::ConnectControl() {
  closedBecause_.clear();
  if (!control_) control_ = std::make_unique<SerialPort>();
  bool open = false;
  if (HRESULT hr = control_->GetOpenState(&open); FAILED(hr)) return hr;
  if (open)
    if (HRESULT hr = control_->SetOpenState(false); FAILED(hr)) return hr;
  if (HRESULT hr = ConfigurePort(*control_, StoredConfiguration()); FAILED(hr)) return hr;
  return OpenPort(*control_);
}

HRESULT RS232Node::Connect(VARIANT) {
  if (HRESULT hr = ApplyProperties(); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> lifecycle(lifecycleLock_);
  const std::shared_ptr<PollThread> thread = CurrentPollThread();
  std::unique_lock<std::recursive_mutex> portLock;
  if (thread) portLock = std::unique_lock<std::recursive_mutex>(thread->PortLock());

  if (FAILED(ConnectControl())) {
    // Take the control's error before anything else can touch the thread's error object.
    ComPtr<IErrorInfo> controlError;
    GetErrorInfo(0, controlError.AddressOf());
    if (control_) {
      // The settings text the control kept is read back. The port number is
      // not: the configuration stops at the first refusal, so a refused
      // settings text (or port number) leaves the control's previous number,
      // which is no choice of the client's; a later Connect would open that
      // port instead of the one the client set.
      std::string settings;
      control_->GetSettingsText(&settings);
      {
        std::lock_guard<std::mutex> guard(propertiesLock_);
        settings_ = Utf16FromUtf8(settings);
      }
      control_.reset();
    }
    return ReportControlFailure(std::move(controlError));
  }
  if (portLock) portLock.unlock();

  if (!thread) {
    auto created = std::make_shared<PollThread>(*this);
    {
      std::lock_guard<std::mutex> slot(threadSlotLock_);
      pollThread_ = created;
    }
    try {
      created->Start();
    } catch (const std::system_error& e) {
      // No thread to be had: nothing would read the port, so the node stays
      // closed (port closed, no control, no thread) and says why.
      {
        std::lock_guard<std::mutex> slot(threadSlotLock_);
        pollThread_.reset();
      }
      control_->SetOpenState(false);
      control_.reset();
      RecordErrorInfo(server().progId, std::string("Cannot start the poll thread: ") + e.what());
      return E_FAIL;
    }
  }
  return S_OK;
}

HRESULT RS232Node::Shutdown() {
  const std::shared_ptr<PollThread> thread = CurrentPollThread();
  // Stop the thread first, so that no pass is running when the port closes.
  // In the state Lost (no control) the thread is ended too: a closed node
  // keeps no thread.
  if (thread) thread->Stop();

  HRESULT result = S_OK;
  {
    // DoTransmit calls from other threads may still come; they hold the same lock.
    std::unique_lock<std::recursive_mutex> portLock;
    if (thread) portLock = std::unique_lock<std::recursive_mutex>(thread->PortLock());
    if (control_) {
      bool open = false;
      HRESULT hr = control_->GetOpenState(&open);
      if (SUCCEEDED(hr) && open) hr = control_->SetOpenState(false);
      if (FAILED(hr)) {
        ComPtr<IErrorInfo> controlError;
        GetErrorInfo(0, controlError.AddressOf());
        result = ReportControlFailure(std::move(controlError));
      }
      control_.reset();
    }
  }
  std::lock_guard<std::mutex> slot(threadSlotLock_);
  pollThread_.reset();
  return result;
}

HRESULT RS232Node::Close(VARIANT) {
  // The thread that Close must wait for cannot wait for itself.
  if (const auto thread = CurrentPollThread(); thread && thread->IsCurrentThread())
    return FailWith(MSG_CLOSE_FROM_RECEPTION);
  std::lock_guard<std::mutex> lifecycle(lifecycleLock_);
  return Shutdown();
}

HRESULT RS232Node::DoTransmit(std::int32_t, VARIANT, VARIANT Buffer) {
  if (!IsByteBuffer(Buffer)) return FailWith(MSG_PARAMETER_NOT_CORRECT);
  // Declared before the lock, so that the lock is released before the thread
  // object can go (a Close on another thread may have discarded it meanwhile).
  const std::shared_ptr<PollThread> thread = CurrentPollThread();
  if (!thread) return FailWith(MSG_NOT_ALLOWED_CLOSED);
  std::lock_guard<std::recursive_mutex> portLock(thread->PortLock());
  if (!control_) return FailWith(MSG_NO_CONTROL);
  bool open = false;
  HRESULT hr = control_->GetOpenState(&open);
  if (SUCCEEDED(hr) && !open) {
    // A device that went away says so, naming it, until it is back.
    if (closedBecause_.empty()) return FailWith(MSG_NOT_ALLOWED_CLOSED);
    RecordErrorInfo(server().progId, closedBecause_);
    return DISP_E_EXCEPTION;
  }
  if (SUCCEEDED(hr)) hr = control_->SetOutput(Buffer);
  if (FAILED(hr)) {
    ComPtr<IErrorInfo> controlError;
    GetErrorInfo(0, controlError.AddressOf());
    return ReportControlFailure(std::move(controlError));
  }
  return S_OK;
}

HRESULT RS232Node::DoReceive(std::int32_t, VARIANT Buffer) {
  events().RaiseReception(0, &Buffer);
  return S_OK;
}

HRESULT RS232Node::DoSynchRequest(std::int32_t, VARIANT, VARIANT, VARIANT*) {
  return FailBare(E_FAIL);
}

HRESULT RS232Node::SetProperty(BSTR Name, BSTR Value) {
  int index = -1;
  if (HRESULT hr = LookUpProperty(Name, &index); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> guard(propertiesLock_);
  if (index == kSettingsProperty)
    settings_.assign(Value ? Value : u"", Value ? SysStringLen(Value) : 0);
  else
    commPort_ = ParseDecimal(Utf8FromBstr(Value));
  return S_OK;
}

HRESULT RS232Node::GetProperty(BSTR Name, BSTR* Value) {
  if (!Value) return FailBare(E_POINTER);
  *Value = nullptr;
  int index = -1;
  if (HRESULT hr = LookUpProperty(Name, &index); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> guard(propertiesLock_);
  if (index == kSettingsProperty)
    *Value = SysAllocStringLen(settings_.data(), static_cast<std::uint32_t>(settings_.size()));
  else
    *Value = BstrFromUtf8(std::to_string(commPort_));
  return S_OK;
}

HRESULT RS232Node::ApplyProperties() {
  return S_OK;
}

HRESULT RS232Node::AllocChannel(std::int32_t* Channel) {
  if (!Channel) return FailBare(E_POINTER);
  *Channel = 0;
  return S_OK;
}

HRESULT RS232Node::ReleaseChannel(std::int32_t) {
  return S_OK;
}
