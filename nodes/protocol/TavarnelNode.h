// The protocol node: checks request frames and hands them down as
// OnTransmission, gathers the bytes handed up through DoReceive into answer
// frames raised as OnReception, and reports an answer that does not come
// within "TimeOut" milliseconds as OnAsynchError(515, "Time out...").
//
// Threads: any thread may call any operation. OnTransmission is raised on the
// thread that calls DoTransmit/DoSynchRequest, OnReception on the thread that
// calls DoReceive, OnAsynchError on the watcher thread; no lock is held while
// an event is raised, so listeners may call back into the node. A listener
// must not drop the node's last reference from inside an event.
#pragma once

#include <memory>
#include <mutex>

#include "NodeObject.h"
#include "RequestFrame.h"
#include "TimeOutWatcher.h"

class TavarnelNode final : public NodeObject {
 public:
  TavarnelNode();

  HRESULT Connect(VARIANT Param) override;
  HRESULT Close(VARIANT Param) override;
  HRESULT DoTransmit(std::int32_t Channel, VARIANT Kind, VARIANT Buffer) override;
  HRESULT DoReceive(std::int32_t Channel, VARIANT Buffer) override;
  // BuffOut is written only on success, without freeing what it held (an out value).
  HRESULT DoSynchRequest(std::int32_t Channel, VARIANT Kind, VARIANT BuffIn, VARIANT* BuffOut) override;
  HRESULT SetProperty(BSTR Name, BSTR Value) override;
  HRESULT GetProperty(BSTR Name, BSTR* Value) override;
  HRESULT ApplyProperties() override;
  HRESULT AllocChannel(std::int32_t* Channel) override;
  HRESULT ReleaseChannel(std::int32_t Channel) override;

  // The fixed limit of a DoSynchRequest's wait, whatever TimeOut says.
  static constexpr std::chrono::milliseconds kSynchRequestLimit{20000};
  static constexpr std::int32_t kDefaultTimeOut = 3000;

 protected:
  ~TavarnelNode() override;
  std::span<const char* const> PropertyNames() const override;

 private:
  // The watcher of the current connection; null while the node is closed.
  std::shared_ptr<TimeOutWatcher> Session() const;
  // Checks a request frame; on refusal `status` is the call's failure status.
  bool Check(const VARIANT& kind, const VARIANT& buffer, CheckedRequest* request, HRESULT* status);
  void RaiseTransmission(std::int32_t channel, const std::vector<std::uint8_t>& frame);
  void ReportTimeOut();
  // Joins the retired watchers, except one whose thread is the caller's.
  void JoinRetiredWatchers();

  // Guards watcher_ (non-null = connected), retired_ and timeOut_. Held only
  // briefly: never while joining a watcher thread or raising an event. Any calling thread.
  mutable std::mutex sessionLock_;
  std::shared_ptr<TimeOutWatcher> watcher_;
  // Watchers closed from their own thread (a listener of the time-out report
  // called Close): their report may still be running. The next Connect or
  // Close from another thread, or the destructor, joins them, so that no
  // report outlives the node.
  std::vector<std::shared_ptr<TimeOutWatcher>> retired_;
  std::int32_t timeOut_ = kDefaultTimeOut;  // ms
};
