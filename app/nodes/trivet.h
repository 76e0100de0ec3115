// Node client wrappers: TNode creates one node object, listens to its events
// through a TNodeEventSink, keeps its channel, turns failure statuses into
// ENodeError and stacks one node on another.
#pragma once

#include <functional>
#include <string>

#include "AppError.h"
#include "ComHolders.h"
#include "RS232Lib_TLB.h"

class TNode;

// Handlers run on the thread that raised the event (a node's own thread, or
// the caller of an operation); the buffer is a copy that lives for the call.
using TNodeDataEvent = std::function<void(TNode* Sender, std::int32_t Channel, const VARIANT& Buffer)>;
using TNodeErrorEvent = std::function<void(TNode* Sender, std::int32_t Code, const std::string& Comment)>;

// Turns a failure status of a node call into an ENodeError with the node's
// error object: its description without trailing full stops, blanks and
// control characters; with no description, the system's text for the status,
// else "OLE error %.8x".
void CheckNodeStatus(HRESULT status, IUnknown* node);
std::string NodeErrorMessage(HRESULT status, const std::string& description);

// The listener of one TNode. Its reference count is fixed (its life is the
// TNode's); the handler slots are set on the main thread before the node is
// opened and read by whichever thread raises an event.
class TNodeEventSink final : public IDispatch {
 public:
  TNodeEventSink(TNode* owner, INode* source);
  ~TNodeEventSink();  // disconnects with the cookie

  HRESULT QueryInterface(REFIID riid, void** object) override;
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }
  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, std::uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  // Dispatches DISPIDs 1-3 to the handler slots; always succeeds.
  HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

  std::uint32_t cookie() const { return cookie_; }

  TNodeDataEvent OnReception;
  TNodeDataEvent OnTransmission;
  TNodeErrorEvent OnAsynchError;

 private:
  // The source's _INodeEvents point; empty when the source has none.
  ComPtr<IConnectionPoint> EventPoint() const;

  TNode* owner_;
  ComPtr<INode> source_;
  IID eventInterface_;
  std::uint32_t cookie_ = 0;
};

class TNode {
 public:
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;
  // Closes the node (without releasing the channel), disconnects the sink, drops the node.
  virtual ~TNode();

  // Connect with an empty Param, then AllocChannel; the channel is kept.
  void Open();
  // ReleaseChannel with the kept channel, then Close with an empty Param.
  void Close();
  void Transmit(std::int32_t Channel, const VARIANT& Kind, const VARIANT& Buffer);
  void Receive(std::int32_t Channel, const VARIANT& Buffer);
  void SetProperty(const std::string& Name, const std::string& Value);
  std::string GetProperty(const std::string& Name);
  // Stacks this node on `lower`: lower's receptions go to this node's
  // Receive, this node's transmissions to lower's Transmit with this node's Kind.
  // The lower node's thread then calls into this wrapper: close the lower
  // node (or destroy its wrapper) before this wrapper is destroyed.
  bool SetLowerNode(TNode* lower);

  void SetOnReception(TNodeDataEvent handler) { sink_->OnReception = std::move(handler); }
  void SetOnTransmission(TNodeDataEvent handler) { sink_->OnTransmission = std::move(handler); }
  void SetOnAsynchError(TNodeErrorEvent handler) { sink_->OnAsynchError = std::move(handler); }

  std::int32_t channel() const { return channel_; }
  const VARIANT& Kind() const { return kind_; }
  INode* node() const { return node_.Get(); }
  bool listening() const { return sink_ && sink_->cookie() != 0; }

 protected:
  TNode();
  // Derived constructors call this last: it runs CreateNode and connects the sink.
  void Initialize();
  // The destructor's steps: closes the node (without releasing the channel),
  // disconnects the sink and drops the node; afterwards no event reaches a
  // handler. A derived class whose handlers use its own fields calls it in
  // its destructor, before those fields go. Does nothing the second time.
  void ReleaseNode();
  // Makes the node object and stores its INode in node_.
  virtual void CreateNode() = 0;

  ComPtr<INode> node_;

 private:
  TNodeEventSink* sink_ = nullptr;
  TNode* lower_ = nullptr;
  std::int32_t channel_ = 0;  // written by Open, read by Close: both on the main thread
  VARIANT kind_;
};
