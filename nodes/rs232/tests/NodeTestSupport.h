// What the serial node tests share: value helpers, creation by class
// identity, and a listener that records events and lets a test wait for them.
#pragma once

#include "testing/ListenerBase.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ByteBuffer.h"
#include "ComRuntime.h"
#include "ErrorInfo.h"
#include "INode.h"
#include "Identities.h"
#include "PseudoTerminal.h"

using std::chrono::milliseconds;

// A variant that frees what it holds.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  explicit Var(const Bytes& bytes) : v(MakeByteBuffer(bytes)) {}
  explicit Var(const std::string& text) : Var(Bytes(text.begin(), text.end())) {}
  static Var Text(const char* s) {
    Var r;
    r.v.vt = VT_BSTR;
    r.v.bstrVal = BstrFromUtf8(s);
    return r;
  }
  Var(Var&& o) noexcept : v(o.v) { VariantInit(&o.v); }
  Var(const Var&) = delete;
  ~Var() { VariantClear(&v); }
};

// Counted text that frees itself.
struct Text {
  BSTR b;
  explicit Text(std::string_view s) : b(BstrFromUtf8(s)) {}
  Text(const char16_t* s, std::uint32_t n) : b(SysAllocStringLen(s, n)) {}
  Text(const Text&) = delete;
  ~Text() { SysFreeString(b); }
};

// The calling thread's error object, taken; source "<none>" when there is none.
inline ErrorFields TakeError() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return ErrorFields{GUID_NULL, "<none>", "<none>", "", 0};
  ErrorFields fields = ReadErrorFields(info);
  info->Release();
  return fields;
}

// Records every event; the bytes of all OnReception events are gathered in
// arrival order. Events come on the poll thread or the caller's thread.
class ReceptionLog final : public ListenerBase {
 public:
  struct Event {
    DISPID member;
    std::int32_t channel;
    Bytes bytes;
    std::thread::id thread;
  };
  // Runs inside OnReception on the raising thread, after the bytes are recorded.
  std::function<void(const Bytes&)> onReception;

  HRESULT Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    Event e{member, p->cArgs == 2 ? p->rgvarg[1].lVal : -1, p->cArgs == 2 ? BytesOf(p->rgvarg[0]) : Bytes{},
            std::this_thread::get_id()};
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (member == DISPID_OnReception) received_.insert(received_.end(), e.bytes.begin(), e.bytes.end());
      events_.push_back(e);
    }
    changed_.notify_all();
    if (member == DISPID_OnReception && onReception) onReception(e.bytes);
    return S_OK;
  }
  std::vector<Event> Events() const {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
  }
  Bytes Received() const {
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
  }
  // Waits until at least `count` bytes have been received in all; the bytes so far.
  Bytes WaitForBytes(std::size_t count, milliseconds limit = milliseconds(5000)) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, limit, [&] { return received_.size() >= count; });
    return received_;
  }
  void Forget() {
    std::lock_guard<std::mutex> guard(lock_);
    events_.clear();
    received_.clear();
  }

 private:
  mutable std::mutex lock_;  // guards events_ and received_
  std::condition_variable changed_;
  std::vector<Event> events_;
  Bytes received_;
};

// A serial node created by class identity from the build tree's registry.
inline INode* CreateSerialNode() {
  INode* node = nullptr;
  const HRESULT hr =
      CoCreateInstance(CLSID_RS232Node, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node));
  EXPECT_EQ(hr, S_OK) << "the serial node is not registered in the build tree's registry";
  return node;
}

inline HRESULT SetProp(INode* node, const char* name, std::string_view value) {
  Text n(name), v(value);
  return node->SetProperty(n.b, v.b);
}

inline std::string GetProp(INode* node, const char* name) {
  Text n(name);
  BSTR value = nullptr;
  if (node->GetProperty(n.b, &value) != S_OK) return "<failed>";
  std::string text = Utf8FromBstr(value);
  SysFreeString(value);
  return text;
}

inline HRESULT ConnectNode(INode* node) {
  Var empty;
  return node->Connect(empty.v);
}

inline HRESULT CloseNode(INode* node) {
  Var empty;
  return node->Close(empty.v);
}

inline HRESULT Transmit(INode* node, const Bytes& bytes) {
  Var kind, buffer(bytes);
  kind.v.vt = VT_I4;
  kind.v.lVal = 0;
  return node->DoTransmit(0, kind.v, buffer.v);
}

inline Bytes AsBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// Polls `condition` every few milliseconds until it holds or `limit` passes.
inline bool Eventually(const std::function<bool()>& condition, milliseconds limit = milliseconds(10000)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return condition();
}
