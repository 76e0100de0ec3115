// The serial node: moves raw bytes over one serial port. DoTransmit writes a
// byte buffer to the port; its PollThread reads the bytes that arrive and
// hands them up as OnReception, and reopens the port after a line error or
// when the device has gone and comes back.
//
// States: Closed (no poll thread, no control), Connected (thread, control,
// port open), Lost (thread running, no control: a second Connect failed).
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "ComHolders.h"
#include "NodeObject.h"
#include "PortSequences.h"
#include "SerialPort.h"

class PollThread;

class RS232Node final : public NodeObject {
 public:
  RS232Node();

  HRESULT Connect(VARIANT Param) override;
  HRESULT Close(VARIANT Param) override;
  HRESULT DoTransmit(std::int32_t Channel, VARIANT Kind, VARIANT Buffer) override;
  HRESULT DoReceive(std::int32_t Channel, VARIANT Buffer) override;
  HRESULT DoSynchRequest(std::int32_t Channel, VARIANT Kind, VARIANT BuffIn, VARIANT* BuffOut) override;
  HRESULT SetProperty(BSTR Name, BSTR Value) override;
  HRESULT GetProperty(BSTR Name, BSTR* Value) override;
  HRESULT ApplyProperties() override;
  HRESULT AllocChannel(std::int32_t* Channel) override;
  HRESULT ReleaseChannel(std::int32_t Channel) override;

  // For the poll thread, which calls them with the port lock held.
  SerialPort* Control() { return control_.get(); }
  void ReplaceControl(std::unique_ptr<SerialPort> control) { control_ = std::move(control); }
  // Why the port is closed while the poll thread tries to reopen it: the
  // device went away (SerialPort::GoneText). The first reason stays until the
  // port opens again, when an empty one clears it.
  void NoteClosedBecause(const std::string& why);
  // The stored Settings and CommPort, as the layer takes them.
  PortConfiguration StoredConfiguration() const;
  // Raises OnReception(0, buffer) on the calling thread (the poll thread, without the port lock).
  void DeliverReception(VARIANT* buffer) { events().RaiseReception(0, buffer); }

 protected:
  // Closes a node that its client dropped while connected.
  ~RS232Node() override;
  std::span<const char* const> PropertyNames() const override;

 private:
  std::shared_ptr<PollThread> CurrentPollThread() const;
  // Connect's work on the control: create it if needed, close the port if
  // open, configure, open. Called with the port lock held when a poll thread exists.
  HRESULT ConnectControl();
  // Stops the poll thread and closes and drops the control.
  HRESULT Shutdown();
  // Re-reports the error the control left (taken beforehand with GetErrorInfo,
  // may be empty) as this node's error, with the control's identifier as source.
  static HRESULT ReportControlFailure(ComPtr<IErrorInfo> controlError);

  // Serialises Connect and Close (and the destructor) against each other; held
  // by client threads for the whole operation. Close holds it while it waits
  // for the poll thread, so an OnReception listener must not call Connect or
  // Close of this node while another thread may be closing it.
  std::mutex lifecycleLock_;
  // Guards the pollThread_ pointer (not the thread): held only to copy or
  // swap it, by any thread that calls an operation.
  mutable std::mutex threadSlotLock_;
  // Created by the first successful Connect, discarded by Close. Shared, so
  // that a DoTransmit that has taken its port lock keeps the lock alive while
  // Close discards the thread.
  std::shared_ptr<PollThread> pollThread_;
  // The control (the serial-port layer). While a poll thread exists, every
  // use is under that thread's port lock; before one exists only Connect
  // touches it (under lifecycleLock_), since DoTransmit needs a poll thread.
  std::unique_ptr<SerialPort> control_;
  // See NoteClosedBecause; guarded by the poll thread's port lock, like control_.
  std::string closedBecause_;
  // Guards settings_ and commPort_: client threads set and read them, the
  // poll thread reads them for port recovery. Taken after the port lock, never before.
  mutable std::mutex propertiesLock_;
  std::u16string settings_;    // exactly as the client set it
  std::int32_t commPort_ = 1;  // handed to the layer as a 16-bit value
};
