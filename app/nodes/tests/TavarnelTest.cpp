// Target memory access through both real nodes and the simulated board.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <functional>
#include <future>

#include "LinkFixture.h"

using namespace std::chrono;
using Bytes = std::vector<std::uint8_t>;

namespace {
std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<no error>";
}
}  // namespace

using MemoryAccess = LinkFixture;

TEST_F(MemoryAccess, ReadsAndWritesSendOneFrameEachAndReturnTheBoardsBytes) {
  sim_->pokeRegister(0, 0x5A, 0x11);
  sim_->pokeRegister(0, 0x5E, 0x2F);
  std::uint8_t data[6] = {};
  protocol_->ReadMemory(0x5A, data, 6);
  EXPECT_EQ(data[0], 0x11);
  EXPECT_EQ(data[4], 0x2F);

  const std::uint8_t four = 0x04;
  protocol_->WriteMemory(0x005F, &four, 1);
  EXPECT_EQ(sim_->peekRegister(0, 0x5F), 0x04);

  std::uint8_t thirteen[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  protocol_->WriteMemory(0x1000, thirteen, 13);
  std::uint8_t back[13] = {};
  protocol_->ReadMemory(0x1000, back, 13);
  EXPECT_EQ(Bytes(back, back + 13), Bytes(thirteen, thirteen + 13));

  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0], (Bytes{0x13, 0x00, 0x5A, 0x06}));
  EXPECT_EQ(requests[1], (Bytes{0x23, 0x00, 0x5F, 0x04}));
  EXPECT_EQ(requests[2].size(), 16u);
  EXPECT_EQ(requests[2][0], 0x2F);
}

TEST_F(MemoryAccess, OversizedAccessesAreRefusedWithoutSending) {
  std::uint8_t data[14] = {};
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x100, data, 14); }), "Frame size must be lower than 13");
  EXPECT_EQ(MessageOf([&] { protocol_->WriteMemory(0x100, data, 14); }), "Frame size must be lower than 13");
  EXPECT_TRUE(Requests().empty());
  protocol_->ReadMemory(0x100, data, 13);  // the largest access goes through
  EXPECT_EQ(Requests(), (std::vector<Bytes>{Bytes{0x13, 0x01, 0x00, 0x0D}}));
}

TEST_F(MemoryAccess, BadAnswersGiveTheirMessagesAndTheNextRequestWorks) {
  std::uint8_t data[2] = {0xEE, 0xEE};
  sim_->corruptAnswers(1);
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x5A, data, 2); }), "Bad MCU answer while reading.");
  EXPECT_EQ(data[0], 0xEE);  // untouched
  sim_->corruptAnswers(1);
  const std::uint8_t one = 1;
  EXPECT_EQ(MessageOf([&] { protocol_->WriteMemory(0x1000, &one, 1); }),
            "Bad MCU answer while writing. Data may have not been written...");
  protocol_->ReadMemory(0x5A, data, 2);  // the link works again

  // Extra bytes glued to an answer make it disagree with its length: time-out.
  sim_->addExtraBytes({0x55, 0x66});
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x5A, data, 2); }), "Time out...");
  protocol_->ReadMemory(0x5A, data, 2);
}

// (How soon after TimeOut the time-out comes is measured by bench_appnodes_link.)
TEST_F(MemoryAccess, SilenceAndIncompleteAnswersEndInATimeOutNeverBeforeItsTime) {
  std::uint8_t data[6];
  sim_->dropAnswers(1);
  auto start = steady_clock::now();
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x5A, data, 6); }), "Time out...");
  EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), timeOutMs_);

  // The start of an answer, then nothing.
  ClearTranscript();
  sim_->dropAnswers(1);
  auto pending =
      std::async(std::launch::async, [&] { return MessageOf([&] { protocol_->ReadMemory(0x5A, data, 6); }); });
  ASSERT_TRUE(WaitForRequests(1));
  sim_->sendNoise({0x06, 0x01});
  EXPECT_EQ(pending.get(), "Time out...");
  protocol_->ReadMemory(0x5A, data, 6);
}

// A TimeOut (20 s, the longest that counts) far beyond the wait below: the
// access can only have ended through the shutdown.
class LongTimeOutAccess : public LinkFixture {
 protected:
  LongTimeOutAccess() { timeOutMs_ = 20000; }
};

TEST_F(LongTimeOutAccess, ShutDownEndsAWaitingAccessAtOnce) {
  sim_->dropAnswers(1);
  std::uint8_t data[6] = {0xEE};
  auto pending = std::async(std::launch::async, [&] { protocol_->ReadMemory(0x5A, data, 6); });
  ASSERT_TRUE(WaitForRequests(1));
  protocol_->ShutDown();
  ASSERT_EQ(pending.wait_for(seconds(10)), std::future_status::ready);
  EXPECT_THROW(pending.get(), EShutdown);
  EXPECT_EQ(data[0], 0xEE);                                       // nothing was taken for data
  EXPECT_THROW(protocol_->ReadMemory(0x5A, data, 6), EShutdown);  // later accesses send nothing
  EXPECT_EQ(Requests().size(), 1u);
}

TEST_F(MemoryAccess, AClosedSerialLinkIsReportedAtOnceNotAsATimeOut) {
  serial_->Close();
  std::uint8_t data[1];
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x5A, data, 1); }), "Not allowed when comm port is closed");
  serial_->Open();
  protocol_->ReadMemory(0x5A, data, 1);
}

namespace {
// Runs the access on another thread and answers its request with `answer`
// in place of the board's (which is withheld); returns the access's message.
// A read of 0 bytes is no request the board serves: it answers nothing by itself.
std::string AnsweredWith(boardsim::BoardSimulator& sim, const Bytes& answer, bool boardAnswers,
                         const std::function<void()>& access) {
  if (boardAnswers) sim.dropAnswers(1);
  auto pending = std::async(std::launch::async, [&] { return MessageOf(access); });
  // The request has reached the board: served with its answer withheld, or
  // discarded as one it cannot serve. Entries of any kind would not do: the
  // previous call's noise enters the transcript once written, which may be
  // after its access has already returned and the test cleared the transcript.
  using Kind = boardsim::TranscriptEntry::Kind;
  EXPECT_TRUE(sim.transcript().waitForCount(boardAnswers ? Kind::Request : Kind::Discarded, 1, seconds(5)));
  sim.sendNoise(answer);
  return pending.get();
}
}  // namespace

TEST_F(MemoryAccess, AnswersOfAnotherLengthThanTheRequestWantsAreBadAnswers) {
  const std::string badRead = "Bad MCU answer while reading.";
  const std::string badWrite = "Bad MCU answer while writing. Data may have not been written...";
  std::uint8_t data[2] = {0xEE, 0xEE};
  // A read of 2 answered by a complete frame of 1 data byte.
  EXPECT_EQ(AnsweredWith(*sim_, {0x01, 0x42}, true, [&] { protocol_->ReadMemory(0x5A, data, 2); }), badRead);
  EXPECT_EQ(data[0], 0xEE);  // untouched
  ClearTranscript();
  // A write answered with a length other than 0.
  const std::uint8_t one = 1;
  EXPECT_EQ(AnsweredWith(*sim_, {0x01, 0x00}, true, [&] { protocol_->WriteMemory(0x5F, &one, 1); }), badWrite);
  ClearTranscript();
  EXPECT_EQ(AnsweredWith(*sim_, {0x10}, true, [&] { protocol_->WriteMemory(0x5F, &one, 1); }), badWrite);
  ClearTranscript();

  // A read of 0 bytes sends its count 0, takes only the answer 00 and copies nothing.
  EXPECT_EQ(AnsweredWith(*sim_, {0x00}, false, [&] { protocol_->ReadMemory(0x5A, data, 0); }), "<no error>");
  EXPECT_EQ(data[0], 0xEE);
  std::vector<Bytes> discarded;
  for (const auto& entry : sim_->transcript().entries())
    if (entry.kind == boardsim::TranscriptEntry::Kind::Discarded) discarded.push_back(entry.bytes);
  EXPECT_EQ(discarded, (std::vector<Bytes>{{0x13, 0x00, 0x5A, 0x00}}));
  ClearTranscript();
  EXPECT_EQ(AnsweredWith(*sim_, {0x01, 0x42}, false, [&] { protocol_->ReadMemory(0x5A, data, 0); }), badRead);
  ClearTranscript();

  protocol_->ReadMemory(0x5A, data, 2);  // the link works on
}

// A TimeOut that the protocol node never reports (negative) or reports only
// after weeks: the access still ends, with the node's own message.
class UnreportedTimeOut : public LinkFixture, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    TTavarnelObject::SetLongestTimeOut(milliseconds(200));
    timeOutMs_ = GetParam();
    LinkFixture::SetUp();
  }
  void TearDown() override {
    LinkFixture::TearDown();
    TTavarnelObject::SetLongestTimeOut(TTavarnelObject::DefaultLongestTimeOut);
  }
};

TEST_P(UnreportedTimeOut, EndsTheWaitWithATimeOutAndTheLinkWorksOn) {
  std::uint8_t data[6];
  sim_->dropAnswers(1);
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x5A, data, 6); }), "Time out...");
  protocol_->ReadMemory(0x5A, data, 6);
  EXPECT_EQ(Requests().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(TimeOut, UnreportedTimeOut, ::testing::Values(-1, INT32_MAX));

TEST(AnswerWait, TheNodesTimeOutCountsUpToTheLongestPlusAGrace) {
  using TT = TTavarnelObject;
  ASSERT_EQ(TT::LongestTimeOut(), TT::DefaultLongestTimeOut);
  EXPECT_EQ(TT::AnswerWaitLimit(0), TT::AnswerGrace);
  EXPECT_EQ(TT::AnswerWaitLimit(1000), milliseconds(1000) + TT::AnswerGrace);
  EXPECT_EQ(TT::EffectiveTimeOut(20000), milliseconds(20000));
  EXPECT_EQ(TT::EffectiveTimeOut(20001), TT::DefaultLongestTimeOut);
  EXPECT_EQ(TT::EffectiveTimeOut(-1), TT::DefaultLongestTimeOut);
  EXPECT_EQ(TT::EffectiveTimeOut(INT32_MIN), TT::DefaultLongestTimeOut);
  EXPECT_EQ(TT::EffectiveTimeOut(INT32_MAX), TT::DefaultLongestTimeOut);
}
