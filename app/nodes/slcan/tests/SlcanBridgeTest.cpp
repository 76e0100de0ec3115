// The bridge against the simulated board through the register access thread:
// what each command writes to the cell, and what reaches the client.
#include <gtest/gtest.h>

#include <regex>

#include "BitTiming.h"
#include "LinkFixture.h"
#include "SlcanBridge.h"

using namespace CanReg;

namespace {

class SlcanBridgeTest : public BoardThreadFixture {
 protected:
  void SetUp() override {
    BoardThreadFixture::SetUp();
    NewBridge();
  }
  void NewBridge() {
    bridge_ = std::make_unique<TSlcanBridge>(
        *thread_, TSlcanBridge::Options{8, 1}, [this] { return linkUp_; },
        [this](const std::string& bytes) { out_ += bytes; },
        [this](const std::string& text) { messages_.push_back(text); });
  }
  void TearDown() override {
    bridge_.reset();
    BoardThreadFixture::TearDown();
  }
  // Hands the client's bytes over and returns what answered them.
  std::string Send(const std::string& bytes) {
    out_.clear();
    bridge_->Feed(bytes);
    EXPECT_TRUE(WaitUntil([this] { return !bridge_->Busy(); }));
    return out_;
  }
  bool Finish() {
    bool done = false;
    bridge_->Finish([&done] { done = true; });
    return WaitUntil([&done] { return done; });
  }
  std::uint8_t Reg(std::uint8_t address, int page = 0) { return sim_->peekRegister(page, address); }

  std::unique_ptr<TSlcanBridge> bridge_;
  bool linkUp_ = true;
  std::string out_;
  std::vector<std::string> messages_;
};

}  // namespace

TEST_F(SlcanBridgeTest, BadInputAndCommandsBeforeOpenGetBelAndWriteNothing) {
  const std::string junk = "t1230\rr1230\rF\rT123456780\rR123456780\rs031C\rS9\rt12\rx\r\x01\xff\x80\r" +
                           std::string(100, 'y') + "\rO1\rM123\rm00000000\r";
  EXPECT_EQ(Send(junk), std::string(14, '\a'));
  EXPECT_EQ(Send("S4\rO\r"), "\r\r");
  ClearTranscript();
  EXPECT_EQ(Send("t1231\rt123\rt1231GG\rt800\rr12310\rS4\rM00000000\rZ1\rO\rL\r"), std::string(10, '\a'));
  linkUp_ = false;  // the board gone: every command refused until it is back
  EXPECT_EQ(Send("V\rt1230\rC\r"), "\a\a\a");
  EXPECT_TRUE(Requests().empty());
  linkUp_ = true;
  EXPECT_EQ(Send("V\rN\rv\r"), "V0111\rNVRL1\rv0111\r");
}

TEST_F(SlcanBridgeTest, OpenSetsTheTimingAndTheEndStopsOnlyACellItStarted) {
  for (const bool runningBefore : {false, true}) {
    SCOPED_TRACE(runningBefore);
    sim_->pokeRegister(0, CSR, runningBefore ? (RUN | NRTX) : NRTX);
    sim_->pokeRegister(0, BRPR, 0x01);
    EXPECT_EQ(Send("S4\rO\r"), "\r\r");
    EXPECT_EQ(Reg(BRPR), BitTiming::PackBRPR(4, 1));
    EXPECT_EQ(Reg(BTR), BitTiming::PackBTR(12, 3));
    EXPECT_EQ(Reg(CSR), RUN | NRTX);
    ASSERT_TRUE(Finish());
    EXPECT_EQ(Reg(CSR), runningBefore ? (RUN | NRTX) : NRTX);
    NewBridge();
  }
  // A running cell that holds the timing already is not touched.
  ClearTranscript();
  EXPECT_EQ(Send("S4\rO\r"), "\r\r");
  for (const auto& request : Requests()) EXPECT_EQ(request[0], 0x13);  // reads only
}

TEST_F(SlcanBridgeTest, FramesAreSentWithoutTouchingOtherFlagsAndJudgedFromTheCell) {
  struct Case {
    const char* command;
    bool acknowledged;
    boardsim::CanFrame sent;
    std::string answer;
    std::string status;  // F afterwards
  };
  const Case cases[] = {
      {"t7FF811223344556677FF\r",
       true,
       {0x7FF, false, false, 8, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0xFF}},
       "z\r",
       "F00\r"},
      {"t0003ABCDEF\r", true, {0x000, false, false, 3, {0xAB, 0xCD, 0xEF}}, "z\r", "F00\r"},
      {"r1235\r", true, {0x123, false, true, 5, {}}, "z\r", "F00\r"},
      {"t1230\r", false, {0x123, false, false, 0, {}}, "\a", "F80\r"},
  };
  EXPECT_EQ(Send("O\r"), "\r");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    sim_->setAcknowledged(c.acknowledged);
    sim_->clearTransmittedFrames();
    sim_->pokeRegister(0, ISR, SCIF | EPND);
    EXPECT_EQ(Send(c.command), c.answer);
    const auto sent = sim_->transmittedFrames();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].frame, c.sent);
    EXPECT_EQ(sent[0].buffer, 1);
    EXPECT_EQ(Reg(ISR) & (SCIF | EPND), SCIF | EPND);  // another's flags stay
    EXPECT_EQ(Send("F\r"), c.status);
  }
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_EQ(Send("C\rL\rt1230\r"), "\r\r\a");  // listen-only sends nothing
}

TEST_F(SlcanBridgeTest, ReceivedFramesGoOutInTheOrderTheCellTookThem) {
  EXPECT_EQ(Send("Z1\rO\r"), "\r\r");
  out_.clear();
  thread_->SetPolling(true);
  for (const boardsim::CanFrame& frame :
       {boardsim::CanFrame{0x7FF, false, false, 2, {1, 2}}, boardsim::CanFrame{0x000, false, true, 4, {}},
        boardsim::CanFrame{0x123, false, false, 0, {}}})
    sim_->injectFrame(frame);
  ASSERT_TRUE(WaitUntil([this] { return std::count(out_.begin(), out_.end(), '\r') >= 3; }));
  EXPECT_TRUE(std::regex_match(out_, std::regex("t7FF20102[0-9A-F]{4}\rr0004[0-9A-F]{4}\rt1230[0-9A-F]{4}\r"))) << out_;
}
