// The serial-port layer: the communication control that the serial node
// drives, on termios. Each member reads or writes one of the control's
// values; a member that fails records an error object (source kProgId, a
// description that says what happened and what to do) for the calling thread
// and returns a failure status.
//
// Not thread-safe: the serial node serialises every use with its port lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ComTypes.h"
#include "LineStatus.h"
#include "PortMap.h"
#include "SerialDevice.h"
#include "SerialSettings.h"

class SerialPort {
 public:
  // The layer's own programmatic identifier: the source of its error objects.
  static constexpr const char* kProgId = "Vorelan.SerialPort.1";
  static constexpr const char* kDefaultSettings = "9600,n,8,1";

  // A new instance: closed, port 1, "9600,n,8,1", no pending event.
  explicit SerialPort(std::shared_ptr<LineStatusSource> lineStatus = KernelLineStatus());
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Port number, 1 and up; selects the device (PortMap.h). Not while open.
  HRESULT SetPortNumber(std::int16_t number);
  HRESULT GetPortNumber(std::int16_t* number) const;
  // Settings text, checked on writing; applied at once when open.
  HRESULT SetSettingsText(std::string_view text);
  HRESULT GetSettingsText(std::string* text) const;
  // true opens the device of the port number, false closes it.
  HRESULT SetOpenState(bool open);
  HRESULT GetOpenState(bool* open) const;
  // Most bytes one read of the input returns; 0 for every waiting byte.
  HRESULT SetReadLength(std::int16_t length);
  // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both.
  HRESULT SetFlowControl(std::int32_t mode);
  // Writing 0 discards received bytes; reading gives the number waiting (FIONREAD).
  HRESULT SetReceivedCount(std::int16_t count);
  HRESULT GetReceivedCount(std::int16_t* count);
  // Writing 0 discards bytes not yet sent; reading gives their number (TIOCOUTQ).
  HRESULT SetWaitingToSendCount(std::int16_t count);
  HRESULT GetWaitingToSendCount(std::int16_t* count);
  // 0 text (the input comes as counted text, one character per byte), 1 binary (byte buffers).
  HRESULT SetInputMode(std::int32_t mode);
  // Every waiting byte, removed from the driver. The caller clears `input`.
  HRESULT GetInput(VARIANT* input);
  // Sends the bytes of a byte buffer (or of text, as UTF-8), waiting for room
  // while the driver is full.
  HRESULT SetOutput(const VARIANT& output);
  // 0 until something happens; 1000 and up after a line error or when the
  // device has gone (LineStatus.h). A new instance, and every successful
  // open, starts at 0.
  HRESULT GetLastEventCode(std::int16_t* code);
  // The descriptor of the open device, -1 when closed.
  HRESULT GetPortHandle(std::int32_t* handle) const;
  // Takes effect on the open device; remembered while closed.
  HRESULT SetBreakState(bool on);

  // How long a send may wait without the device taking a byte (default 5 s).
  void SetOutputStallLimit(std::chrono::milliseconds limit) { stallLimit_ = limit; }

  // From now on the port opens only a device of this kind (SerialDevice::Kind):
  // when a device comes back after an unplug, something else that took its
  // name (a terminal of the user's) is not taken for it.
  void RequireDeviceKind(std::optional<SerialDevice::Kind> kind) { requiredKind_ = kind; }
  // The kind of the device opened last, else the kind required.
  std::optional<SerialDevice::Kind> DeviceKind() const {
    return device_.LastKind() ? device_.LastKind() : requiredKind_;
  }

 public:
  // Why the device went away ("The device /dev/ttyUSB0 has gone away
  // (Input/output error)."); empty unless it did.
  const std::string& GoneText() const { return goneText_; }

 private:
  HRESULT Fail(HRESULT status, const std::string& description) const;
  HRESULT FailNotOpen() const;
  // Notes a device that has gone and fails with `description`.
  HRESULT FailGone(const std::string& description);
  // Notes a device that has gone, with the first description of why.
  void NoteGone(const std::string& description);
  std::string Name() const { return "COM" + std::to_string(portNumber_); }
  std::string OpenFailureText(const SerialDevice::OpenFailure& failure, const PortDevice& device) const;

  std::int16_t portNumber_ = 1;
  std::string settingsText_ = kDefaultSettings;
  SerialSettings settings_;
  std::int16_t readLength_ = 0;
  std::int32_t flowControl_ = 0;
  std::int32_t inputMode_ = 0;
  std::int16_t lastEvent_ = kEventNone;
  std::string goneText_;  // see GoneText
  bool breakOn_ = false;
  std::chrono::milliseconds stallLimit_{5000};
  std::shared_ptr<LineStatusSource> lineStatus_;
  // Counters at the last look; nothing while closed or when the driver keeps none.
  std::optional<LineErrorCounters> lineCounters_;
  std::optional<SerialDevice::Kind> requiredKind_;
  SerialDevice device_;
};

// The system call that sets a port's event mask: nothing to do on this
// platform, since the serial node polls. Always succeeds.
bool SetCommMask(std::int32_t handle, std::uint32_t mask);
