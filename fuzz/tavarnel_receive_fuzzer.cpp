// The protocol node's answer assembly: byte streams handed to DoReceive in
// arbitrary pieces, between requests, as the serial node delivers what it
// finds waiting on the line.
//
// The node is created by class identity and connected once, with a negative
// TimeOut (never overdue), so that only the input decides what happens. Each
// input starts on a freshly allocated channel 0.
//
// Input: operations, each a byte (top three bits the operation, low five n)
// and what it takes:
//   0  a read request is sent (answer expected)
//   1  the next n bytes arrive on channel 0        2  the same, by reference
//   3  a request frame of n % 18 bytes (taken from the input) with the Kind in
//      the next byte, held as a 16-bit (bit 7) or 32-bit integer
//   4  DoReceive with an integer instead of a byte buffer
//   5  the channel is released and allocated again
//   6  the next n bytes arrive on channel n + 1 (not allocated)
//   7  DoReceive with a reference to an integer
//
// Broken when: an answer frame raised is not whole (its size disagrees with
// its header) or longer than 16 bytes; it is not the bytes that arrived for
// the awaited answer, the first complete frame since the request (or since a
// piece overflowed 16 bytes and was dropped); more than one answer is raised
// for a request; anything is raised for bytes nobody awaits or for a buffer
// that is not one; a request frame is taken or refused against the rules;
// a call's status is not the one its contract names.
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "ByteBuffer.h"
#include "ComRuntime.h"
#include "ErrorInfo.h"
#include "FuzzSupport.h"
#include "INode.h"
#include "Identities.h"
#include "MonitorFrames.h"
#include "testing/NodeTestSupport.h"

namespace {

constexpr HRESULT kBadParameter = static_cast<HRESULT>(0x80040000u + 516);
constexpr HRESULT kNotImplemented = static_cast<HRESULT>(0x80004001u);
constexpr std::size_t kMaxFrame = 16;

struct Event {
  DISPID member;
  std::int32_t channel;
  Bytes bytes;
  friend bool operator==(const Event&, const Event&) = default;
};

class Recorder final : public ListenerBase {
 public:
  HRESULT Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (member == DISPID_OnAsynchError)
      events_.push_back({member, p->rgvarg[1].lVal, {}});
    else
      events_.push_back({member, p->rgvarg[1].lVal, BytesOf(p->rgvarg[0])});
    return S_OK;
  }
  std::vector<Event> Take() {
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(events_, {});
  }

 private:
  std::mutex lock_;  // the watcher thread would report a time-out from its own thread
  std::vector<Event> events_;
};

VARIANT ReferenceTo(VARIANT* target) {
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_VARIANT | VT_BYREF;
  ref.pvarVal = target;
  return ref;
}

struct Node {
  INode* node = nullptr;
  Recorder recorder;
};

Node* TheNode = nullptr;

void CloseNode() {
  if (!TheNode) return;
  TheNode->node->ReleaseChannel(0);
  TheNode->node->Close(Var().v);
  TheNode->node->Release();
  delete TheNode;
  TheNode = nullptr;
}

// What the node promises, followed as the bytes arrive.
struct Expectation {
  bool waiting = false;  // an answer is awaited on channel 0
  Bytes gathered;        // what arrived for it so far
  std::vector<Event> events;

  void Arm() {
    waiting = true;
    gathered.clear();
  }
  void Arrive(const Bytes& piece) {
    if (!waiting) return;  // nobody awaits these bytes: dropped
    gathered.insert(gathered.end(), piece.begin(), piece.end());
    if (gathered.size() > kMaxFrame) {
      gathered.clear();  // too long for one answer: dropped, the wait goes on
    } else if (!gathered.empty() && gathered.size() == (gathered[0] & 0x0Fu) + 1u) {
      events.push_back({DISPID_OnReception, 0, gathered});
      waiting = false;  // the complete answer ends the wait
      gathered.clear();
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The build tree's node, instrumented like this program, whatever registry the environment names.
  setenv("VORELAN_COMPONENT_REGISTRY", VORELAN_BUILD_REGISTRY, 1);
  TheNode = new Node;
  INode*& node = TheNode->node;
  FUZZ_CHECK(
      CoCreateInstance(CLSID_TavarnelNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node)) == S_OK,
      "the protocol node is registered in the build tree");
  FUZZ_CHECK(TheNode->recorder.ListenTo(node) != 0, "the node takes a listener");
  FUZZ_CHECK(SetProp(node, "TimeOut", "-1") == S_OK, "TimeOut is set while closed");
  FUZZ_CHECK(node->Connect(Var().v) == S_OK, "the node connects");
  std::atexit(CloseNode);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  INode* node = TheNode->node;
  Recorder& recorder = TheNode->recorder;
  node->ReleaseChannel(0);
  std::int32_t channel = -1;
  FUZZ_CHECK(node->AllocChannel(&channel) == S_OK && channel == 0, "the node's one channel is 0");
  recorder.Take();

  Expectation expected;
  std::size_t at = 0;
  const auto take = [&](std::size_t n) {
    n = std::min(n, size - at);
    Bytes bytes(data + at, data + at + n);
    at += n;
    return bytes;
  };
  while (at < size) {
    const std::uint8_t op = data[at++];
    const unsigned n = op & 0x1Fu;
    switch (op >> 5) {
      case 0: {
        const Bytes request = ReadRequest(0x5A, 6);
        FUZZ_CHECK(node->DoTransmit(0, Var::I4(AnswerExpected).v, Var(request).v) == S_OK, "a read request is sent");
        expected.Arm();
        expected.events.push_back({DISPID_OnTransmission, 0, request});
        break;
      }
      case 1:
      case 2: {
        Var piece(take(n));
        const Bytes bytes = BytesOf(piece.v);
        HRESULT status;
        if (op >> 5 == 1) {
          status = node->DoReceive(0, piece.v);
        } else {
          status = node->DoReceive(0, ReferenceTo(&piece.v));
        }
        FUZZ_CHECK(status == S_OK, "DoReceive takes a byte buffer, or a reference to one");
        expected.Arrive(bytes);
        break;
      }
      case 3: {
        const Bytes frame = take(n % 18);
        const std::uint8_t kindByte = at < size ? data[at++] : 0;
        const std::int32_t kind = static_cast<std::int32_t>(kindByte & 0x7F) - 64;
        const Var kindValue = kindByte & 0x80 ? Var::I2(static_cast<std::int16_t>(kind)) : Var::I4(kind);
        const HRESULT status = node->DoTransmit(0, kindValue.v, Var(frame).v);
        const bool wellFormed = !frame.empty() && frame.size() <= kMaxFrame && frame.size() == (frame[0] & 0x0Fu) + 1u;
        if (!wellFormed) {
          FUZZ_CHECK(status == kBadParameter, "a frame whose size and header disagree is refused as badly formatted");
        } else if (kind != AnswerExpected && kind != NoAnswer) {
          FUZZ_CHECK(status == kNotImplemented, "an unknown Kind is refused as not implemented");
        } else {
          FUZZ_CHECK(status == S_OK, "a well-formed frame of a known Kind is sent");
          if (kind == AnswerExpected) expected.Arm();
          expected.events.push_back({DISPID_OnTransmission, 0, frame});
        }
        TakeError();  // none outlives the input
        break;
      }
      case 4:
        FUZZ_CHECK(FAILED(node->DoReceive(0, Var::I4(static_cast<std::int32_t>(n)).v)),
                   "DoReceive refuses what is not a byte buffer");
        TakeError();  // none outlives the input
        break;
      case 5:
        node->ReleaseChannel(0);
        FUZZ_CHECK(node->AllocChannel(&channel) == S_OK && channel == 0, "the released channel is handed out again");
        expected.waiting = false;
        expected.gathered.clear();
        break;
      case 6: {
        Var piece(take(n));
        FUZZ_CHECK(node->DoReceive(static_cast<std::int32_t>(n) + 1, piece.v) == S_OK,
                   "bytes for a channel that is not allocated are dropped");
        break;
      }
      case 7: {
        Var number = Var::I4(static_cast<std::int32_t>(n));
        FUZZ_CHECK(FAILED(node->DoReceive(0, ReferenceTo(&number.v))), "DoReceive refuses a reference to an integer");
        TakeError();  // none outlives the input
        break;
      }
    }
    const std::vector<Event> events = recorder.Take();
    for (const Event& e : events)
      if (e.member == DISPID_OnReception)
        FUZZ_CHECK(!e.bytes.empty() && e.bytes.size() <= kMaxFrame && e.bytes.size() == (e.bytes[0] & 0x0Fu) + 1u,
                   "an answer frame is whole and at most 16 bytes");
    FUZZ_CHECK(events == expected.events, "the node raises what its contract says, no more, no less");
    expected.events.clear();
  }
  return 0;
}
