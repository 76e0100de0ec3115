// What the tests of the node libraries share: owners for the values a node
// takes (variants, counted text), the calling thread's error object, a
// listener that records a node's events and lets a test wait for them, and
// the calls a test makes on a node, with creation by class identity from
// the build tree's registry as the program creates its nodes.
#pragma once

#include "testing/ListenerBase.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ByteBuffer.h"
#include "ComRuntime.h"
#include "ErrorInfo.h"
#include "INode.h"
#include "Identities.h"

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline Bytes AsBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// A variant that frees what it holds.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  explicit Var(const Bytes& bytes) : v(MakeByteBuffer(bytes)) {}
  explicit Var(std::string_view text) : Var(AsBytes(text)) {}
  static Var I4(std::int32_t n) {
    Var r;
    r.v.vt = VT_I4;
    r.v.lVal = n;
    return r;
  }
  static Var I2(std::int16_t n) {
    Var r;
    r.v.vt = VT_I2;
    r.v.iVal = n;
    return r;
  }
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

// The calling thread's error object, taken; source and description "<none>"
// when there is none.
inline ErrorFields TakeError() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return ErrorFields{GUID_NULL, "<none>", "<none>", "", 0};
  ErrorFields fields = ReadErrorFields(info);
  info->Release();
  return fields;
}

// Records every event a node raises, in arrival order, and gathers the bytes
// of all OnReception events. Events come on the caller's thread or on a
// node's own (poll, line, watcher) threads; a test reads and waits on the
// test thread.
class EventLog final : public ListenerBase {
 public:
  struct Event {
    DISPID member;
    std::int32_t channelOrCode;  // the channel; for OnAsynchError the code
    Bytes bytes;                 // OnReception's and OnTransmission's buffer
    std::string comment;         // OnAsynchError's description
    std::thread::id thread;      // the thread that raised it
    Clock::time_point at;        // when it arrived
  };
  // Each runs on the raising thread after the event is recorded, outside the log's lock.
  std::function<void(const Bytes&)> onReception;
  std::function<void()> onAsynchError;

  HRESULT Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    const bool twoArguments = p->cArgs == 2;
    Event e{member,
            twoArguments ? p->rgvarg[1].lVal : -1,
            twoArguments ? BytesOf(p->rgvarg[0]) : Bytes{},
            twoArguments && p->rgvarg[0].vt == VT_BSTR ? Utf8FromBstr(p->rgvarg[0].bstrVal) : "",
            std::this_thread::get_id(),
            Clock::now()};
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (member == DISPID_OnReception) received_.insert(received_.end(), e.bytes.begin(), e.bytes.end());
      events_.push_back(e);
    }
    changed_.notify_all();
    if (member == DISPID_OnReception && onReception) onReception(e.bytes);
    if (member == DISPID_OnAsynchError && onAsynchError) onAsynchError();
    return S_OK;
  }
  std::vector<Event> Events() const {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
  }
  std::vector<Event> Of(DISPID member) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Event> out;
    for (const Event& e : events_)
      if (e.member == member) out.push_back(e);
    return out;
  }
  // The bytes of every OnReception so far.
  Bytes Received() const {
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
  }
  // True once `count` events of `member` have arrived, false if `limit` passes first.
  bool WaitFor(DISPID member, std::size_t count, milliseconds limit = milliseconds(5000)) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, limit, [&] {
      std::size_t n = 0;
      for (const Event& e : events_) n += e.member == member;
      return n >= count;
    });
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
  mutable std::mutex lock_;  // guards events_ and received_ (raising threads, test thread)
  std::condition_variable changed_;
  std::vector<Event> events_;
  Bytes received_;
};

// A node of class `clsid` created by class identity from the build tree's registry.
inline INode* CreateNode(REFCLSID clsid) {
  INode* node = nullptr;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node));
  EXPECT_EQ(hr, S_OK) << "the node is not registered in the build tree's registry";
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

// The property names the node's walk gives: GetFirstProperty starts any
// index at 0, GetNextProperty goes on until the index is 0 again (at most
// five names, so that a walk that never ends still ends the test).
inline std::vector<std::string> PropertyWalk(INode* node) {
  std::int32_t index = 99;
  EXPECT_EQ(node->GetFirstProperty(&index), S_OK);
  EXPECT_EQ(index, 0);
  std::vector<std::string> names;
  do {
    BSTR name = nullptr;
    if (node->GetNextProperty(&index, &name) != S_OK) {
      ADD_FAILURE() << "GetNextProperty failed after " << names.size() << " names";
      break;
    }
    names.push_back(Utf8FromBstr(name));
    SysFreeString(name);
  } while (index != 0 && names.size() < 5);
  return names;
}

// The error GetNextProperty raises for an index outside the walk; empty when
// it takes the index.
inline std::string NextPropertyRefusal(INode* node, std::int32_t index) {
  BSTR name = nullptr;
  if (node->GetNextProperty(&index, &name) != DISP_E_EXCEPTION) {
    SysFreeString(name);
    return {};
  }
  return TakeError().description;
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
  return node->DoTransmit(0, Var::I4(0).v, Var(bytes).v);
}
