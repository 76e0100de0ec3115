// The protocol node's tests stand in for the serial line and the board's
// monitor below the node: a test monitor that hears the node's requests and
// hands the answers back, and a node stacked over it.
#pragma once

#include <algorithm>
#include <deque>
#include <memory>

#include "testing/NodeTestSupport.h"

// Plays the board's monitor and the serial line: takes the node's
// OnTransmission as the request on the wire, serves reads and writes from
// its memory and hands the answer back to the node's DoReceive in pieces,
// from its own line thread (like the serial node's poll thread) or at once
// on the sending thread.
class TestMonitor final : public ListenerBase {
 public:
  enum class Mode { Answer, Silent, Overlong, TrailingByte };
  Mode mode = Mode::Answer;
  std::size_t pieces = 1;
  bool answerAtOnce = false;  // answer inside OnTransmission instead of from the line thread
  std::uint8_t memory[0x10000] = {};

  explicit TestMonitor(INode* node) : node_(node), line_([this] { Deliver(); }) {}
  ~TestMonitor() { StopLine(); }
  // Ends the line thread: no DoReceive is called after this returns.
  void StopLine() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_ = true;
    }
    changed_.notify_all();
    if (line_.joinable()) line_.join();
  }
  std::vector<Bytes> Requests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
  }
  bool WaitForRequests(std::size_t count) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, milliseconds(5000), [&] { return requests_.size() >= count; });
  }

  HRESULT Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    if (member != DISPID_OnTransmission) return S_OK;
    const Bytes request = BytesOf(p->rgvarg[0]);
    Bytes answer = Serve(request);
    if (mode == Mode::Silent) answer.clear();
    if (mode == Mode::Overlong) answer.resize(17, 0xEE);
    if (mode == Mode::TrailingByte) answer.push_back(0xEE);
    std::vector<Bytes> parts;
    const std::size_t n = std::min(pieces, answer.size());
    for (std::size_t i = 0, at = 0; i < n; ++i) {
      const std::size_t size = (answer.size() - at) / (n - i);
      parts.emplace_back(answer.begin() + at, answer.begin() + at + size);
      at += size;
    }
    if (answerAtOnce) {
      for (const Bytes& part : parts) Receive(p->rgvarg[1].lVal, part);
    }
    {
      std::lock_guard<std::mutex> guard(lock_);
      requests_.push_back(request);
      if (!answerAtOnce)
        for (Bytes& part : parts) line_queue_.push_back({p->rgvarg[1].lVal, std::move(part)});
    }
    changed_.notify_all();
    return S_OK;
  }

 private:
  Bytes Serve(const Bytes& r) {
    if (r.size() == 4 && r[0] == 0x13) {  // read N bytes at the address
      const unsigned address = r[1] << 8 | r[2];
      Bytes answer{r[3]};
      for (unsigned i = 0; i < r[3]; ++i) answer.push_back(memory[(address + i) & 0xFFFF]);
      return answer;
    }
    if (r.size() >= 4 && (r[0] & 0xF0) == 0x20) {  // write the bytes after the address
      const unsigned address = r[1] << 8 | r[2];
      for (std::size_t i = 3; i < r.size(); ++i) memory[(address + i - 3) & 0xFFFF] = r[i];
      return {0x00};
    }
    return {};
  }
  void Receive(std::int32_t channel, const Bytes& piece) {
    Var buffer(piece);
    EXPECT_EQ(node_->DoReceive(channel, buffer.v), S_OK);
  }
  void Deliver() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
      changed_.wait(guard, [&] { return stop_ || !line_queue_.empty(); });
      if (stop_) return;
      auto [channel, piece] = std::move(line_queue_.front());
      line_queue_.pop_front();
      guard.unlock();
      Receive(channel, piece);
      guard.lock();
    }
  }

  INode* node_;
  // Guards requests_, line_queue_ and stop_; taken by senders (OnTransmission) and the line thread.
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Bytes> requests_;
  std::deque<std::pair<std::int32_t, Bytes>> line_queue_;
  bool stop_ = false;
  std::thread line_;  // delivers queued answer pieces to the node's DoReceive
};

// A protocol node created by class identity, heard by an event log and
// stacked over a test monitor, with TimeOut set and channel 0 allocated.
struct StackedNode {
  void Open(const char* timeOut = "3000") {
    ASSERT_EQ(CoCreateInstance(CLSID_TavarnelNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node)),
              S_OK);
    monitor = std::make_unique<TestMonitor>(node);
    log.ListenTo(node);
    monitor->ListenTo(node);
    ASSERT_EQ(node->SetProperty(Text("TimeOut").b, Text(timeOut).b), S_OK);
    ASSERT_EQ(node->Connect(Var().v), S_OK);
    std::int32_t channel = -1;
    ASSERT_EQ(node->AllocChannel(&channel), S_OK);
    ASSERT_EQ(channel, 0);
  }
  ~StackedNode() {
    if (!node) return;
    node->ReleaseChannel(0);
    node->Close(Var().v);
    monitor->StopLine();  // no answer reaches the node after it is gone
    node->Release();      // lets go of the listeners, which outlive it
  }
  HRESULT Send(const Bytes& frame, std::int32_t kind = AnswerExpected) {
    return node->DoTransmit(0, Var::I4(kind).v, Var(frame).v);
  }

  INode* node = nullptr;
  EventLog log;
  std::unique_ptr<TestMonitor> monitor;
};

class ConnectedNode : public ::testing::Test, public StackedNode {};

// Lets two requests, one after the other, time out on a second node of its
// own with the same TimeOut. Anything a node would wrongly report for a
// request that was answered or had timed out before this call (it is watched
// by a pass every 100 ms) has come by the time the second of these reports
// has, for that request was sent a whole TimeOut later. Tests that check that
// no report comes wait on this instead of on the clock.
inline void LetTimeOutsPass(const char* timeOut) {
  StackedNode reference;
  reference.Open(timeOut);
  reference.monitor->mode = TestMonitor::Mode::Silent;
  for (std::size_t n = 1; n <= 2; ++n) {
    ASSERT_EQ(reference.Send({0x13, 0x00, 0x5A, 0x01}), S_OK);
    ASSERT_TRUE(reference.log.WaitFor(DISPID_OnAsynchError, n));
  }
}
