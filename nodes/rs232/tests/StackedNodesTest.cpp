// The protocol node stacked on the serial node, both created by class
// identity, wired by a small client that forwards the events as the program
// does: the protocol node's OnTransmission goes to the serial node's
// DoTransmit, the serial node's OnReception to the protocol node's
// DoReceive. A test monitor on the far end of a pseudo-terminal answers the
// read and write requests from its memory, in pieces.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <random>

#include "RS232TestSupport.h"
#include "WaitUntil.h"
#include "testing/NodeTestSupport.h"

namespace {

// Forwards one node's events to another node's operations.
class Relay final : public ListenerBase {
 public:
  INode* lower = nullptr;  // receives OnTransmission as DoTransmit
  INode* upper = nullptr;  // receives OnReception as DoReceive

  HRESULT Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    VARIANT& arg = p->rgvarg[0];
    const VARIANT& buffer = arg.vt == (VT_VARIANT | VT_BYREF) ? *arg.pvarVal : arg;
    const std::int32_t channel = p->rgvarg[1].lVal;
    if (member == DISPID_OnTransmission && lower) {
      VARIANT kind;
      VariantInit(&kind);
      kind.vt = VT_I4;
      kind.lVal = AnswerExpected;
      if (FAILED(lower->DoTransmit(channel, kind, buffer))) ++failures;
    } else if (member == DISPID_OnReception && upper) {
      if (FAILED(upper->DoReceive(channel, buffer))) ++failures;
    }
    return S_OK;
  }
  std::atomic<int> failures{0};
};

// Plays the board's monitor on the master side of the line: reads request
// frames, serves reads and writes from its memory, answers in random pieces.
class TestMonitor {
 public:
  explicit TestMonitor(PseudoTerminal& line) : line_(line), thread_([this] { Serve(); }) {}
  ~TestMonitor() {
    stop_ = true;
    thread_.join();
  }
  std::atomic<int> requests{0};
  std::atomic<int> badRequests{0};

 private:
  bool ReadByte(std::uint8_t* byte) {
    while (!stop_) {
      pollfd input{line_.Master(), POLLIN, 0};
      if (poll(&input, 1, 10) <= 0) continue;
      const ssize_t n = ::read(line_.Master(), byte, 1);
      if (n == 1) return true;
      if (n < 0 && errno == EIO) usleep(1000);  // the node has not opened its side yet
    }
    return false;
  }
  void Serve() {
    std::mt19937 random(4711);
    std::uint8_t frame[16];
    while (ReadByte(&frame[0])) {
      const std::size_t length = (frame[0] & 0x0F) + 1u;
      for (std::size_t i = 1; i < length; ++i)
        if (!ReadByte(&frame[i])) return;
      ++requests;
      const unsigned address = (frame[1] << 8) | frame[2];
      Bytes answer;
      if ((frame[0] >> 4) == 1 && length == 4 && frame[3] >= 1 && frame[3] <= 15) {
        answer.push_back(frame[3]);
        for (unsigned i = 0; i < frame[3]; ++i) answer.push_back(memory_[(address + i) & 0xFFFF]);
      } else if ((frame[0] >> 4) == 2 && length >= 4) {
        for (std::size_t i = 3; i < length; ++i) memory_[(address + i - 3) & 0xFFFF] = frame[i];
        answer.push_back(0x00);
      } else {
        ++badRequests;
        continue;
      }
      // In pieces, with pauses, as a slow board would answer.
      std::size_t at = 0;
      while (at < answer.size()) {
        const std::size_t piece = std::min<std::size_t>(1 + random() % 5, answer.size() - at);
        line_.Write(Bytes(answer.begin() + static_cast<std::ptrdiff_t>(at),
                          answer.begin() + static_cast<std::ptrdiff_t>(at + piece)));
        at += piece;
        if (random() % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
      }
    }
  }

  PseudoTerminal& line_;
  std::atomic<bool> stop_{false};
  std::uint8_t memory_[0x10000] = {};  // only the monitor's thread
  std::thread thread_;
};

class StackedNodes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.Ok());
    setenv("VORELAN_COM7", pty_.SlavePath().c_str(), 1);
    ASSERT_EQ(
        CoCreateInstance(CLSID_TavarnelNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&protocol_)),
        S_OK)
        << "the protocol node is not registered in the build tree's registry";
    serial_ = CreateNode(CLSID_RS232Node);
    ASSERT_NE(serial_, nullptr);
    toSerial_.lower = serial_;
    toProtocol_.upper = protocol_;
    toSerial_.ListenTo(protocol_);
    answers_.ListenTo(protocol_);
    toProtocol_.ListenTo(serial_);
    ASSERT_EQ(SetProp(protocol_, "TimeOut", "3000"), S_OK);
    ASSERT_EQ(SetProp(serial_, "CommPort", "7"), S_OK);
    ASSERT_EQ(SetProp(serial_, "Settings", "19200,n,8,1"), S_OK);
    // Opened upper node first, as the program does.
    ASSERT_EQ(ConnectNode(protocol_), S_OK) << TakeError().description;
    ASSERT_EQ(ConnectNode(serial_), S_OK) << TakeError().description;
    ASSERT_EQ(protocol_->AllocChannel(&protocolChannel_), S_OK);
    ASSERT_EQ(serial_->AllocChannel(&serialChannel_), S_OK);
  }
  void TearDown() override {
    if (protocol_) {
      protocol_->ReleaseChannel(protocolChannel_);
      EXPECT_EQ(CloseNode(protocol_), S_OK);
    }
    if (serial_) {
      serial_->ReleaseChannel(serialChannel_);
      EXPECT_EQ(CloseNode(serial_), S_OK);
    }
    if (protocol_) protocol_->Release();
    if (serial_) serial_->Release();
    unsetenv("VORELAN_COM7");
  }

  // Sends a request through the protocol node and waits for its answer frame.
  Bytes Exchange(const Bytes& request) {
    const std::size_t before = Answers().size();
    const HRESULT hr = protocol_->DoTransmit(protocolChannel_, Var::I4(AnswerExpected).v, Var(request).v);
    EXPECT_EQ(hr, S_OK) << TakeError().description;
    std::vector<EventLog::Event> answers;
    WaitUntil([&] { return (answers = Answers()).size() > before; }, milliseconds(5000));
    return answers.size() > before ? answers.back().bytes : Bytes{};
  }
  std::vector<EventLog::Event> Answers() const { return answers_.Of(DISPID_OnReception); }
  std::size_t AsynchErrors() const { return answers_.Of(DISPID_OnAsynchError).size(); }

  PseudoTerminal pty_;
  TestMonitor monitor_{pty_};
  INode* protocol_ = nullptr;
  INode* serial_ = nullptr;
  std::int32_t protocolChannel_ = -1, serialChannel_ = -1;
  Relay toSerial_, toProtocol_;
  EventLog answers_;
};

}  // namespace

TEST_F(StackedNodes, ReadAndWriteExchangesCompleteWithTheMonitor) {
  std::mt19937 random(99);
  std::uint8_t image[0x100] = {};
  for (int round = 0; round < 150; ++round) {
    const std::uint8_t address = static_cast<std::uint8_t>(0x50 + random() % 0x40);
    const std::uint8_t count = static_cast<std::uint8_t>(1 + random() % 13);
    if (round % 2 == 0) {
      Bytes request{static_cast<std::uint8_t>(0x20 | (count + 2)), 0x00, address};
      for (int i = 0; i < count; ++i) {
        const auto value = static_cast<std::uint8_t>(random());
        request.push_back(value);
        image[(address + i) & 0xFF] = value;
      }
      ASSERT_EQ(Exchange(request), Bytes{0x00}) << "write " << round;
    } else {
      Bytes expected{count};
      for (int i = 0; i < count; ++i) expected.push_back(image[(address + i) & 0xFF]);
      ASSERT_EQ(Exchange(Bytes{0x13, 0x00, address, count}), expected) << "read " << round;
    }
  }
  EXPECT_EQ(monitor_.requests.load(), 150);
  EXPECT_EQ(monitor_.badRequests.load(), 0);
  EXPECT_EQ(toSerial_.failures.load() + toProtocol_.failures.load(), 0);
  EXPECT_EQ(AsynchErrors(), 0u);
}

TEST_F(StackedNodes, ASynchronousRequestIsAnsweredThroughTheSerialPollThread) {
  ASSERT_EQ(Exchange(Bytes{0x25, 0x00, 0x5A, 0x11, 0x22, 0x33}), Bytes{0x00});
  Var kind, in(Bytes{0x13, 0x00, 0x5A, 0x03}), out;
  kind.v.vt = VT_I4;
  kind.v.lVal = AnswerExpected;
  ASSERT_EQ(protocol_->DoSynchRequest(protocolChannel_, kind.v, in.v, &out.v), S_OK) << TakeError().description;
  EXPECT_EQ(BytesOf(out.v), (Bytes{0x03, 0x11, 0x22, 0x33}));
  EXPECT_EQ(AsynchErrors(), 0u);
}
