#include "SerialPort.h"

#include <cstring>
#include <vector>

#include "ByteBuffer.h"
#include "ErrorInfo.h"
#include "PortMapFile.h"

namespace {

std::int16_t Clamp16(int value) {
  return static_cast<std::int16_t>(value > INT16_MAX ? INT16_MAX : value);
}

}  // namespace

SerialPort::SerialPort(std::shared_ptr<LineStatusSource> lineStatus) : lineStatus_(std::move(lineStatus)) {}

HRESULT SerialPort::Fail(HRESULT status, const std::string& description) const {
  RecordErrorInfo(kProgId, description);
  return status;
}

HRESULT SerialPort::FailNotOpen() const {
  return Fail(E_UNEXPECTED, Name() + " is not open.");
}

HRESULT SerialPort::FailGone(const std::string& description) {
  NoteGone(description);
  return Fail(E_FAIL, description);
}

void SerialPort::NoteGone(const std::string& description) {
  lastEvent_ = kEventDeviceGone;
  if (goneText_.empty()) goneText_ = description;
}

HRESULT SerialPort::SetPortNumber(std::int16_t number) {
  if (device_.IsOpen())
    return Fail(E_UNEXPECTED, "The port number cannot change while " + Name() + " is open. Close the port first.");
  if (number < 1)
    return Fail(E_INVALIDARG, "Invalid port number " + std::to_string(number) + ": port numbers start at 1 (COM1).");
  portNumber_ = number;
  return S_OK;
}

HRESULT SerialPort::GetPortNumber(std::int16_t* number) const {
  *number = portNumber_;
  return S_OK;
}

HRESULT SerialPort::SetSettingsText(std::string_view text) {
  std::string error;
  const std::optional<SerialSettings> parsed = ParseSerialSettings(text, &error);
  if (!parsed) return Fail(E_INVALIDARG, error);
  if (device_.IsOpen() && !device_.Configure(*parsed, flowControl_, &error)) return Fail(E_INVALIDARG, error);
  settings_ = *parsed;
  settingsText_ = std::string(text);
  return S_OK;
}

HRESULT SerialPort::GetSettingsText(std::string* text) const {
  *text = settingsText_;
  return S_OK;
}

std::string SerialPort::OpenFailureText(const SerialDevice::OpenFailure& failure, const PortDevice& device) const {
  const std::string name = Name();
  switch (failure.kind) {
    case SerialDevice::OpenFailure::Missing: {
      std::string text = name + ": the device " + device.path + " (" + device.origin +
                         ") does not exist. Plug the device in, or choose another port";
      const std::string map = portmap::FilePath();
      text += "; a port is given its device by " + std::string(portmap::kEnvironmentPrefix) +
              std::to_string(portNumber_) + (map.empty() ? "" : " or in " + map) + ".";
      return text;
    }
    case SerialDevice::OpenFailure::Forbidden:
      return name + ": permission denied opening " + device.path +
             ". Add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again.";
    case SerialDevice::OpenFailure::Busy:
      return name + ": " + device.path + " is in use by another program. Close that program, or choose another port.";
    case SerialDevice::OpenFailure::NotSerial:
      return name + ": " + device.path + " (" + device.origin + ") is not a serial device.";
    case SerialDevice::OpenFailure::OtherKind:
      return name + ": " + device.path + " (" + device.origin +
             ") is now another kind of device than the one that went away; waiting for that one to come back.";
    case SerialDevice::OpenFailure::Refused:
      return name + ": " + failure.detail;
    case SerialDevice::OpenFailure::OtherError:
      break;
  }
  return name + ": cannot open " + device.path + ": " + std::strerror(failure.error) + ".";
}

HRESULT SerialPort::SetOpenState(bool open) {
  if (!open) {
    device_.Close();
    lineCounters_.reset();
    return S_OK;
  }
  if (device_.IsOpen()) return Fail(E_UNEXPECTED, Name() + " is already open.");
  const PortDevice device = ResolvePortDevice(portNumber_);
  if (!device.error.empty())
    return Fail(E_FAIL, Name() + ": the port map is not used: " + device.error +
                            ". Replace it with a text file of COM<n>=<device> lines.");
  if (const auto failure = device_.Open(device.path, settings_, flowControl_, requiredKind_)) {
    // A device that may come back (unplugged, busy) counts as gone, so that
    // whoever watches the event code keeps trying to reopen it; settings it
    // refuses will not get better by retrying.
    if (failure->kind != SerialDevice::OpenFailure::Refused && failure->kind != SerialDevice::OpenFailure::NotSerial)
      lastEvent_ = kEventDeviceGone;
    return Fail(failure->kind == SerialDevice::OpenFailure::Forbidden ? E_ACCESSDENIED : E_FAIL,
                OpenFailureText(*failure, device));
  }
  lastEvent_ = kEventNone;
  lineCounters_ = lineStatus_ ? lineStatus_->Read(device_.Descriptor()) : std::nullopt;
  if (breakOn_) {
    std::string ignored;
    device_.SetBreak(true, &ignored);
  }
  return S_OK;
}

HRESULT SerialPort::GetOpenState(bool* open) const {
  *open = device_.IsOpen();
  return S_OK;
}

HRESULT SerialPort::SetReadLength(std::int16_t length) {
  if (length < 0)
    return Fail(E_INVALIDARG, "Invalid read length " + std::to_string(length) + ": it cannot be negative.");
  readLength_ = length;
  return S_OK;
}

HRESULT SerialPort::SetFlowControl(std::int32_t mode) {
  if (mode < 0 || mode > 3)
    return Fail(E_INVALIDARG, "Invalid flow control " + std::to_string(mode) +
                                  ": use 0 (none), 1 (XON/XOFF), 2 (RTS/CTS) or 3 (both).");
  std::string error;
  if (device_.IsOpen() && !device_.Configure(settings_, mode, &error)) return Fail(E_FAIL, error);
  flowControl_ = mode;
  return S_OK;
}

HRESULT SerialPort::SetReceivedCount(std::int16_t count) {
  if (count != 0)
    return Fail(E_INVALIDARG, "The received-byte count can only be set to 0, which discards the bytes received.");
  if (!device_.IsOpen()) return S_OK;  // nothing is buffered while closed; opening discards too
  std::string error;
  if (device_.Discard(TCIFLUSH, &error) == SerialDevice::Io::Gone) return FailGone(error);
  return S_OK;
}

HRESULT SerialPort::GetReceivedCount(std::int16_t* count) {
  *count = 0;
  if (!device_.IsOpen()) return FailNotOpen();
  int waiting = 0;
  std::string error;
  switch (device_.WaitingInput(&waiting, &error)) {
    case SerialDevice::Io::Done:
      *count = Clamp16(waiting);
      return S_OK;
    case SerialDevice::Io::Gone:
      return FailGone(error);
    case SerialDevice::Io::Failed:
      break;
  }
  return Fail(E_FAIL, error);
}

HRESULT SerialPort::SetWaitingToSendCount(std::int16_t count) {
  if (count != 0)
    return Fail(E_INVALIDARG, "The waiting-to-send count can only be set to 0, which discards the bytes not yet sent.");
  if (!device_.IsOpen()) return S_OK;
  std::string error;
  if (device_.Discard(TCOFLUSH, &error) == SerialDevice::Io::Gone) return FailGone(error);
  return S_OK;
}

HRESULT SerialPort::GetWaitingToSendCount(std::int16_t* count) {
  *count = 0;
  if (!device_.IsOpen()) return FailNotOpen();
  int waiting = 0;
  std::string error;
  switch (device_.WaitingOutput(&waiting, &error)) {
    case SerialDevice::Io::Done:
      *count = Clamp16(waiting);
      return S_OK;
    case SerialDevice::Io::Gone:
      return FailGone(error);
    case SerialDevice::Io::Failed:
      break;
  }
  return Fail(E_FAIL, error);
}

HRESULT SerialPort::SetInputMode(std::int32_t mode) {
  if (mode != 0 && mode != 1)
    return Fail(E_INVALIDARG, "Invalid input mode " + std::to_string(mode) + ": use 0 (text) or 1 (binary).");
  inputMode_ = mode;
  return S_OK;
}

HRESULT SerialPort::GetInput(VARIANT* input) {
  VariantInit(input);
  if (!device_.IsOpen()) return FailNotOpen();
  std::vector<std::uint8_t> bytes;
  std::string error;
  const SerialDevice::Io outcome = device_.Read(static_cast<std::size_t>(readLength_), &bytes, &error);
  if (outcome == SerialDevice::Io::Failed) return Fail(E_FAIL, error);
  if (outcome == SerialDevice::Io::Gone) {
    // Bytes read before the hang-up are still handed over.
    if (bytes.empty()) return FailGone(error);
    NoteGone(error);
  }
  if (inputMode_ == 1) {
    *input = MakeByteBuffer(bytes);
  } else {
    std::u16string text(bytes.begin(), bytes.end());
    input->vt = VT_BSTR;
    input->bstrVal = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
  }
  return S_OK;
}

HRESULT SerialPort::SetOutput(const VARIANT& output) {
  const VARIANT* value = &output;
  if (value->vt == (VT_VARIANT | VT_BYREF) && value->pvarVal) value = value->pvarVal;
  std::vector<std::uint8_t> bytes;
  if (IsByteBuffer(*value)) {
    bytes = BytesOf(*value);
  } else if (value->vt == VT_BSTR) {
    const std::string text = Utf8FromBstr(value->bstrVal);
    bytes.assign(text.begin(), text.end());
  } else {
    return Fail(E_INVALIDARG, "The output must be a byte array or text.");
  }
  if (!device_.IsOpen()) return FailNotOpen();
  std::string error;
  switch (device_.Write(bytes, stallLimit_, &error)) {
    case SerialDevice::Io::Done:
      return S_OK;
    case SerialDevice::Io::Gone:
      return FailGone(error);
    case SerialDevice::Io::Failed:
      break;
  }
  return Fail(E_FAIL, error);
}

HRESULT SerialPort::GetLastEventCode(std::int16_t* code) {
  if (device_.IsOpen() && !IsCommunicationError(lastEvent_)) {
    if (device_.HungUp()) {
      NoteGone("The device " + device_.Path() + " has gone away (the line hung up).");
    } else if (lineCounters_) {
      if (const std::optional<LineErrorCounters> now = lineStatus_->Read(device_.Descriptor())) {
        if (const std::int16_t event = LineEventCode(*lineCounters_, *now); event != kEventNone) lastEvent_ = event;
        lineCounters_ = now;
      }
    }
  }
  *code = lastEvent_;
  return S_OK;
}

HRESULT SerialPort::GetPortHandle(std::int32_t* handle) const {
  *handle = device_.Descriptor();
  return S_OK;
}

HRESULT SerialPort::SetBreakState(bool on) {
  breakOn_ = on;
  if (!device_.IsOpen()) return S_OK;
  std::string error;
  switch (device_.SetBreak(on, &error)) {
    case SerialDevice::Io::Done:
      return S_OK;
    // Nothing to end on a device that has gone; the event code tells the rest.
    case SerialDevice::Io::Gone:
      NoteGone(error);
      return S_OK;
    case SerialDevice::Io::Failed:
      break;
  }
  return Fail(E_FAIL, error);
}

bool SetCommMask(std::int32_t, std::uint32_t) {
  return true;
}
