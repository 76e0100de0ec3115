#include "PollThread.h"

#include <poll.h>

#include "ComHolders.h"
#include "ComRuntime.h"
#include "ErrorInfo.h"
#include "RS232Node.h"

PollThread::~PollThread() {
  Stop();
}

void PollThread::Run() {
  threadId_ = std::this_thread::get_id();
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  WorkerThread::Run();
  CoUninitialize();
}

bool PollThread::Execute() {
  if (StopRequested()) return true;
  switch (RunPass()) {
    case Pass::Delivered:
      inputWasReady_ = false;
      break;  // more may have come meanwhile: look again at once
    case Pass::Quiet:
      if (!inputWasReady_ && waitDescriptor_ >= 0) {
        pollfd input{waitDescriptor_, POLLIN, 0};
        inputWasReady_ = poll(&input, 1, static_cast<int>(kInputWait.count())) > 0;
        break;
      }
      [[fallthrough]];
    case Pass::Recovered:  // the descriptor is -1 then: a full retry pause
    case Pass::Ended:
      inputWasReady_ = false;
      WaitForStop(waitDescriptor_ >= 0 ? kInputWait : kRetryPause);
      break;
  }
  return true;
}

PollThread::Pass PollThread::RunPass() {
  VariantHolder input;
  {
    std::lock_guard<std::recursive_mutex> lock(portLock_);
    waitDescriptor_ = -1;
    SerialPort* port = node_.Control();
    if (!port) return Pass::Ended;
    // A failed call ends the pass unreported; its error object is not wanted.
    const auto ended = [] {
      SetErrorInfo(0, nullptr);
      return Pass::Ended;
    };
    std::int16_t event = 0;
    if (FAILED(port->GetLastEventCode(&event))) return ended();
    if (IsCommunicationError(event)) {
      RecoverPort();
      return Pass::Recovered;
    }
    std::int32_t handle = -1;
    if (FAILED(port->GetPortHandle(&handle))) return ended();
    waitDescriptor_ = handle;
    std::int16_t waiting = 0;
    if (FAILED(port->GetReceivedCount(&waiting))) return ended();
    if (waiting == 0) return Pass::Quiet;
    if (FAILED(port->GetInput(input.AddressOf()))) return ended();
  }
  // Outside the lock, so that a listener may call DoTransmit on this node.
  node_.DeliverReception(input.Get());
  return Pass::Delivered;
}

void PollThread::RecoverPort() {
  SerialPort* old = node_.Control();
  if (FAILED(ResetLine(*old)) || FAILED(old->SetOpenState(false)) || FAILED(ResetLine(*old))) {
    SetErrorInfo(0, nullptr);
    return;
  }
  // Only a device of the kind that went away is taken when it comes back.
  const std::optional<SerialDevice::Kind> kind = old->DeviceKind();
  const std::string gone = old->GoneText();
  node_.ReplaceControl(std::make_unique<SerialPort>());
  SerialPort& fresh = *node_.Control();
  fresh.RequireDeviceKind(kind);
  if (FAILED(ConfigurePort(fresh, node_.StoredConfiguration())) || FAILED(OpenPort(fresh))) {
    SetErrorInfo(0, nullptr);
    if (!gone.empty()) node_.NoteClosedBecause(gone);
  } else {
    node_.NoteClosedBecause("");
  }
}
