// Whole request/answer exchanges through a protocol node created by class
// identity, with a test monitor below it: answers whole and in pieces,
// overlong answers, silence and the time-out report, DoSynchRequest.
// How soon after TimeOut the report comes is measured by
// bench_protocol_exchange; the tests check that it comes, once, and never early.
#include <atomic>
#include <future>

#include "TestMonitor.h"

namespace {

class Exchange : public ConnectedNode {};

milliseconds Since(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration_cast<milliseconds>(end - start);
}

}  // namespace

TEST_F(Exchange, ReadsAndWritesCompleteAndNoTimeOutFollowsThem) {
  Open("200");
  const Bytes registers{0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
  std::copy(registers.begin(), registers.end(), monitor->memory + 0x5A);

  ASSERT_EQ(Send({0x13, 0x00, 0x5A, 0x06}), S_OK);
  ASSERT_TRUE(log.WaitFor(DISPID_OnReception, 1));
  Bytes expected{0x06};
  expected.insert(expected.end(), registers.begin(), registers.end());
  EXPECT_EQ(log.Of(DISPID_OnReception)[0].bytes, expected);
  EXPECT_EQ(log.Of(DISPID_OnReception)[0].channelOrCode, 0);

  ASSERT_EQ(Send({0x23, 0x00, 0x5F, 0x04}), S_OK);
  ASSERT_TRUE(log.WaitFor(DISPID_OnReception, 2));
  EXPECT_EQ(log.Of(DISPID_OnReception)[1].bytes, Bytes{0x00});
  EXPECT_EQ(monitor->memory[0x5F], 0x04);
  EXPECT_EQ(monitor->Requests(), (std::vector<Bytes>{{0x13, 0x00, 0x5A, 0x06}, {0x23, 0x00, 0x5F, 0x04}}));
  EXPECT_EQ(log.Of(DISPID_OnTransmission).size(), 2u);

  // An answered request is no longer watched: well past TimeOut, nothing is reported.
  LetTimeOutsPass("200");
  EXPECT_TRUE(log.Of(DISPID_OnAsynchError).empty());
}

TEST_F(Exchange, AnswersInPiecesAreHandedUpOnceWhenTheLastPieceArrives) {
  Open();
  // Driven directly, piece by piece, from this thread.
  monitor->mode = TestMonitor::Mode::Silent;
  ASSERT_EQ(Send({0x13, 0x00, 0x10, 0x03}), S_OK);
  for (const Bytes& piece : {Bytes{0x03}, Bytes{0xA1, 0xA2}}) {
    ASSERT_EQ(node->DoReceive(0, Var(piece).v), S_OK);
    EXPECT_TRUE(log.Of(DISPID_OnReception).empty());
  }
  Var last(Bytes{0xA3}), byReference;  // as the lower node's event hands it over
  byReference.v.vt = VT_VARIANT | VT_BYREF;
  byReference.v.pvarVal = &last.v;
  ASSERT_EQ(node->DoReceive(0, byReference.v), S_OK);
  ASSERT_EQ(log.Of(DISPID_OnReception).size(), 1u);
  EXPECT_EQ(log.Of(DISPID_OnReception)[0].bytes, (Bytes{0x03, 0xA1, 0xA2, 0xA3}));
  ASSERT_EQ(node->DoReceive(0, Var(Bytes{0x00}).v), S_OK);  // nothing is awaited any more
  EXPECT_EQ(log.Of(DISPID_OnReception).size(), 1u);

  // Many back-to-back exchanges from the monitor's line thread, one byte at a time.
  monitor->mode = TestMonitor::Mode::Answer;
  monitor->pieces = 16;
  for (int i = 0; i < 100; ++i) {
    monitor->memory[0x100 + i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(Send({0x13, 0x01, static_cast<std::uint8_t>(i), 0x0D}), S_OK);
    ASSERT_TRUE(log.WaitFor(DISPID_OnReception, 2 + i));
    const Bytes answer = log.Of(DISPID_OnReception).back().bytes;
    ASSERT_EQ(answer.size(), 14u);
    EXPECT_EQ(answer[1], i);
  }
  EXPECT_TRUE(log.Of(DISPID_OnAsynchError).empty());
}

TEST_F(Exchange, OverlongAndOverfullAnswersAreDroppedAndTheRequestTimesOut) {
  Open("300");
  for (auto mode : {TestMonitor::Mode::Overlong, TestMonitor::Mode::TrailingByte}) {
    monitor->mode = mode;
    monitor->pieces = 3;
    const std::size_t reports = log.Of(DISPID_OnAsynchError).size();
    ASSERT_EQ(Send({0x13, 0x00, 0x5A, 0x02}), S_OK);
    ASSERT_TRUE(log.WaitFor(DISPID_OnAsynchError, reports + 1));
  }
  EXPECT_TRUE(log.Of(DISPID_OnReception).empty());
}

TEST_F(Exchange, AMissingAnswerIsReportedOnceAndNeverBeforeTimeOut) {
  Open("300");
  monitor->mode = TestMonitor::Mode::Silent;
  for (std::size_t i = 1; i <= 3; ++i) {
    const auto sent = Clock::now();
    ASSERT_EQ(Send({0x13, 0x00, 0x5A, 0x01}), S_OK);
    ASSERT_TRUE(log.WaitFor(DISPID_OnAsynchError, i));
    const auto report = log.Of(DISPID_OnAsynchError).back();
    EXPECT_EQ(report.channelOrCode, 515);
    EXPECT_EQ(report.comment, "Time out...");
    EXPECT_GE(Since(sent, report.at), milliseconds(300));
  }

  // A late answer is dropped, and a timed-out request is not reported again.
  ASSERT_EQ(node->DoReceive(0, Var(Bytes{0x01, 0x42}).v), S_OK);
  LetTimeOutsPass("300");
  EXPECT_EQ(log.Of(DISPID_OnAsynchError).size(), 3u);
  EXPECT_TRUE(log.Of(DISPID_OnReception).empty());

  // Neither a request sent without awaiting an answer, whose answer is dropped.
  monitor->mode = TestMonitor::Mode::Answer;
  ASSERT_EQ(Send({0x13, 0x00, 0x5A, 0x01}, NoAnswer), S_OK);
  ASSERT_TRUE(monitor->WaitForRequests(4));
  LetTimeOutsPass("300");
  EXPECT_EQ(log.Of(DISPID_OnAsynchError).size(), 3u);
  EXPECT_TRUE(log.Of(DISPID_OnReception).empty());
}

TEST_F(Exchange, EachNodeReportsItsTimeOutsToItsOwnListeners) {
  Open("200");
  monitor->mode = TestMonitor::Mode::Silent;
  StackedNode other;  // constructed last; it must not receive this node's report
  other.Open("200");
  ASSERT_EQ(Send({0x13, 0x00, 0x5A, 0x01}), S_OK);
  ASSERT_TRUE(log.WaitFor(DISPID_OnAsynchError, 1));
  LetTimeOutsPass("200");
  EXPECT_TRUE(other.log.Of(DISPID_OnAsynchError).empty());
}

TEST_F(Exchange, SynchRequestGetsItsOwnAnswerWhetherItComesAtOnceOrLater) {
  Open("300");
  monitor->memory[0x60] = 0x5C;
  ASSERT_EQ(Send({0x13, 0x00, 0x5A, 0x01}), S_OK);  // an earlier, completed exchange
  ASSERT_TRUE(log.WaitFor(DISPID_OnReception, 1));
  monitor->pieces = 2;
  for (bool atOnce : {false, true}) {
    monitor->answerAtOnce = atOnce;
    Var out;
    ASSERT_EQ(node->DoSynchRequest(0, Var::I2(AnswerExpected).v, Var(Bytes{0x13, 0x00, 0x60, 0x01}).v, &out.v), S_OK);
    EXPECT_EQ(BytesOf(out.v), (Bytes{0x01, 0x5C}));
  }
  EXPECT_TRUE(log.WaitFor(DISPID_OnReception, 3));  // listeners hear the answers too
  LetTimeOutsPass("300");
  EXPECT_TRUE(log.Of(DISPID_OnAsynchError).empty());

  Var untouched = Var::I4(7);  // without an awaited answer, BuffOut is left alone
  ASSERT_EQ(node->DoSynchRequest(0, Var::I4(NoAnswer).v, Var(Bytes{0x20}).v, &untouched.v), S_OK);
  EXPECT_EQ(untouched.v.lVal, 7);
}

TEST_F(Exchange, SynchRequestWithoutAnswerFailsWithTimeOut) {
  Open("300");
  monitor->mode = TestMonitor::Mode::Silent;
  Var out;
  const auto sent = Clock::now();
  EXPECT_EQ(node->DoSynchRequest(0, Var::I4(AnswerExpected).v, Var(Bytes{0x13, 0x00, 0x5A, 0x01}).v, &out.v),
            MessageStatus(515));
  EXPECT_EQ(TakeError().description, "Time out...");
  EXPECT_GE(Since(sent, Clock::now()), milliseconds(300));
  EXPECT_EQ(out.v.vt, VT_EMPTY);
  EXPECT_TRUE(log.WaitFor(DISPID_OnAsynchError, 1));
}

TEST_F(Exchange, SynchRequestGivesUpAfterItsFixedLimitWhenTimeOutNeverPasses) {
  Open("-1");  // compared as a huge unsigned value: never overdue
  monitor->mode = TestMonitor::Mode::Silent;
  Var out;
  const auto sent = Clock::now();
  EXPECT_EQ(node->DoSynchRequest(0, Var::I4(AnswerExpected).v, Var(Bytes{0x13, 0x00, 0x5A, 0x01}).v, &out.v),
            MessageStatus(515));
  EXPECT_GE(Since(sent, Clock::now()), milliseconds(20000));
  EXPECT_TRUE(log.Of(DISPID_OnAsynchError).empty());
}

TEST_F(Exchange, CloseEndsAWaitingSynchRequestAndMayBeCalledFromTheTimeOutReport) {
  Open("-1");
  monitor->mode = TestMonitor::Mode::Silent;
  auto waiting = std::async(std::launch::async, [&] {
    Var out;
    const HRESULT hr = node->DoSynchRequest(0, Var::I4(AnswerExpected).v, Var(Bytes{0x10}).v, &out.v);
    return std::make_pair(hr, TakeError().description);
  });
  ASSERT_TRUE(monitor->WaitForRequests(1));
  ASSERT_EQ(node->Close(Var().v), S_OK);
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), std::make_pair(MessageStatus(517), std::string("Not allowed when the node is closed.")));

  // A listener that closes the node from inside the report, on the watcher thread.
  ASSERT_EQ(node->SetProperty(Text("TimeOut").b, Text("0").b), S_OK);
  ASSERT_EQ(node->Connect(Var().v), S_OK);
  std::int32_t channel = -1;
  ASSERT_EQ(node->AllocChannel(&channel), S_OK);
  auto closedByReport = std::make_shared<std::promise<HRESULT>>();
  auto first = std::make_shared<std::atomic<bool>>(true);
  INode* self = node;
  log.onAsynchError = [=] {
    if (first->exchange(false)) closedByReport->set_value(self->Close(Var().v));
  };
  ASSERT_EQ(Send({0x13, 0x00, 0x5A, 0x01}), S_OK);
  auto closed = closedByReport->get_future();
  ASSERT_EQ(closed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(closed.get(), S_OK);
  EXPECT_EQ(Send({0x13, 0x00, 0x5A, 0x01}), MessageStatus(517));

  // The node connects again and works.
  ASSERT_EQ(node->SetProperty(Text("TimeOut").b, Text("3000").b), S_OK);
  monitor->mode = TestMonitor::Mode::Answer;
  ASSERT_EQ(node->Connect(Var().v), S_OK);
  ASSERT_EQ(node->AllocChannel(&channel), S_OK);
  Var out;
  EXPECT_EQ(node->DoSynchRequest(0, Var::I4(AnswerExpected).v, Var(Bytes{0x13, 0x00, 0x5A, 0x01}).v, &out.v), S_OK);
}
