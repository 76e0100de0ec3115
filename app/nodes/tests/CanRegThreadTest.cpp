// The register access thread against the simulated board: exact request
// sequences of passes and jobs from the board's transcript, images, status
// reports, reception, stopping.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include "AppError.h"
#include "LinkFixture.h"
#include "RegisterSession.h"

using Bytes = std::vector<std::uint8_t>;
using namespace CanReg;
using Result = TRegisterJobOutcome::Result;

namespace {
class RegisterThread : public BoardThreadFixture {};
// A TimeOut of -1 waits 21 s for an answer: longer than any wait of the test.
class SilentBoardThread : public BoardThreadFixture {
 protected:
  SilentBoardThread() { timeOutMs_ = -1; }
};

boardsim::CanFrame Frame(std::uint16_t id, std::uint8_t first) {
  boardsim::CanFrame frame;
  frame.id = id;
  frame.dlc = 1;
  frame.data[0] = first;
  return frame;
}
}  // namespace

TEST_F(RegisterThread, APassReadsTheMainRegistersAndThePageThatPsrShows) {
  struct Case {
    std::uint8_t psr;
    std::vector<Bytes> paged;
  };
  const Case cases[] = {
      {0, {ReadRequest(0x60, 2), ReadRequest(0x6E, 2)}},
      {2, {ReadRequest(0x60, 10), ReadRequest(0x6F, 1)}},
      {4, {ReadRequest(0x60, 8)}},
      // A PSR the cell cannot hold (5-255): main registers only. The simulated
      // cell keeps three bits of a PSR written to it, so its raw storage is poked.
      {5, {}},
      {7, {}},
      {255, {}},
  };
  for (const Case& c : cases) {
    sim_->pokeRegister(0, PSR, c.psr);
    ClearTranscript();
    EXPECT_TRUE(Poll().ok());
    std::vector<Bytes> expected{ReadRequest(0x5A, 6)};
    expected.insert(expected.end(), c.paged.begin(), c.paged.end());
    EXPECT_EQ(Requests(), expected) << "PSR " << int(c.psr);
    EXPECT_EQ(thread_->GetMainRegisters()[MainIndex(PSR)], c.psr);
  }
  ASSERT_FALSE(statuses_.empty());
  EXPECT_EQ(statuses_.back(), "");
}

TEST_F(RegisterThread, AFullReadVisitsEveryPageAndRestoresPsr) {
  sim_->pokeRegister(0, PSR, 2);
  sim_->pokeRegister(3, BCSR, 0x0C);  // buffer 3 occupied, filter 1
  sim_->pokeRegister(4, MHR1, 0x7E);
  sim_->pokeRegister(0, TECR, 0x21);
  ClearTranscript();
  const TRegisterJobOutcome outcome = ReadAll();
  const std::vector<Bytes> expected{
      ReadRequest(0x5A, 6),  WriteRequest(0x5F, 0), ReadRequest(0x60, 2),  ReadRequest(0x6E, 2),
      WriteRequest(0x5F, 4), ReadRequest(0x60, 8),  WriteRequest(0x5F, 1), ReadRequest(0x60, 10),
      ReadRequest(0x6F, 1),  WriteRequest(0x5F, 2), ReadRequest(0x60, 10), ReadRequest(0x6F, 1),
      WriteRequest(0x5F, 3), ReadRequest(0x60, 10), ReadRequest(0x6F, 1),  WriteRequest(0x5F, 2)};
  EXPECT_EQ(Requests(), expected);
  EXPECT_EQ(sim_->peekRegister(0, PSR), 2);
  // The outcome carries the images as the job left them.
  EXPECT_EQ(outcome.images, thread_->Images());
  EXPECT_EQ(outcome.images.pages[3][15], 0x0C);  // BCSR lands in byte 15
  for (int i = 10; i < 15; ++i) EXPECT_EQ(outcome.images.pages[3][static_cast<std::size_t>(i)], 0);
  EXPECT_EQ(outcome.images.pages[4][PageIndex(MHR1)], 0x7E);
  EXPECT_EQ(outcome.images.pages[0][14], 0x21);
  EXPECT_EQ(outcome.images.main[MainIndex(PSR)], 2);
}

TEST_F(RegisterThread, AJobWritesInOrderPsrFirstThenReads) {
  sim_->pokeRegister(0, PSR, 0);
  struct Case {
    TRegisterJob job;
    std::vector<Bytes> requests;
  };
  const Case cases[] = {
      // A paged register: PSR first; the read cycle then shows page 2.
      {{{{0x60, 2, 0x55}}, TRegisterJob::Read::Cycle},
       {WriteRequest(0x5F, 2), WriteRequest(0x60, 0x55), ReadRequest(0x5A, 6), ReadRequest(0x60, 10),
        ReadRequest(0x6F, 1)}},
      {{{{0x5C, 0, 0x01}, {0x5D, 0, 0x42}}, TRegisterJob::Read::None},
       {WriteRequest(0x5C, 0x01), WriteRequest(0x5D, 0x42)}},
      // Outside the cell, or a page above 4: nothing, and no error.
      {{{{0x59, 0, 1}, {0x70, 0, 1}, {0x60, 5, 1}}, TRegisterJob::Read::None}, {}},
  };
  for (const Case& c : cases) {
    ClearTranscript();
    EXPECT_TRUE(RunJob(c.job).ok());
    EXPECT_EQ(Requests(), c.requests);
  }
  EXPECT_EQ(thread_->GetPage(2)[0], 0x55);
}

TEST_F(RegisterThread, AFailedWriteEndsItsJobAndAFailedReadIsShownAsThePassStatus) {
  sim_->corruptAnswers(1);
  const TRegisterJobOutcome written = RunJob({{{CSR, 0, 0}, {BRPR, 0, 1}, {BTR, 0, 2}}, TRegisterJob::Read::All});
  EXPECT_EQ(written.result, Result::WriteFailed);
  EXPECT_EQ(written.error, "Bad MCU answer while writing. Data may have not been written...");
  EXPECT_EQ(written.writesDone, 0u);
  EXPECT_EQ(Requests(), (std::vector<Bytes>{WriteRequest(0x5C, 0)}));  // nothing after the failure, no read

  sim_->dropAnswers(1);
  const TRegisterJobOutcome read = Poll();
  EXPECT_EQ(read.result, Result::ReadFailed);
  EXPECT_EQ(read.error, "Time out...");
  EXPECT_EQ(thread_->StatusText(), "Time out...");
  ASSERT_TRUE(WaitUntil([&] { return !statuses_.empty() && statuses_.back() == "Time out..."; }));
  EXPECT_TRUE(Poll().ok());
  ASSERT_TRUE(WaitUntil([&] { return statuses_.back().empty(); }));
}

TEST_F(RegisterThread, JobsRunWholeInTheOrderGivenWithPassesOnlyBetweenThem) {
  QObject registersWindow, filtersWindow;
  std::vector<std::string> order;
  const auto writes = [](std::uint8_t address) {
    return std::vector<TRegisterWrite>{{address, 0, 1}, {address, 0, 2}, {address, 0, 3}};
  };
  thread_->SetPolling(true);
  ASSERT_TRUE(WaitUntil([&] { return thread_->PassCount() >= 2; }));
  thread_->Submit({writes(ICR), TRegisterJob::Read::Cycle}, &registersWindow, [&](auto&) { order.push_back("ICR"); });
  thread_->Submit({writes(BRPR), TRegisterJob::Read::None}, &filtersWindow, [&](auto&) { order.push_back("BRPR"); });
  ASSERT_TRUE(WaitForJobs());
  EXPECT_EQ(order, (std::vector<std::string>{"ICR", "BRPR"}));

  std::vector<Bytes> writesSeen;
  for (const Bytes& request : Requests())
    if (request[0] == 0x23) writesSeen.push_back(request);
  const std::vector<Bytes> expected{WriteRequest(ICR, 1),  WriteRequest(ICR, 2),  WriteRequest(ICR, 3),
                                    WriteRequest(BRPR, 1), WriteRequest(BRPR, 2), WriteRequest(BRPR, 3)};
  EXPECT_EQ(writesSeen, expected);
  // Each job's writes are consecutive on the line: no pass falls between them.
  const auto requests = Requests();
  for (const std::uint8_t address : {ICR, BRPR}) {
    const auto first = std::find(requests.begin(), requests.end(), WriteRequest(address, 1));
    ASSERT_NE(first, requests.end());
    ASSERT_GE(std::distance(first, requests.end()), 3) << int(address);
    EXPECT_EQ(*(first + 1), WriteRequest(address, 2));
    EXPECT_EQ(*(first + 2), WriteRequest(address, 3));
  }
}

TEST_F(SilentBoardThread, TheStopCancelsJobsAndEndsTheWaitForTheBoardAtOnce) {
  // The first write is acknowledged, the second never is.
  OnRequest([this](const Bytes& request) {
    if (request == WriteRequest(ICR, 1)) sim_->dropAnswers(1000);
  });
  std::vector<TRegisterJobOutcome> outcomes;
  const auto keep = [&](const TRegisterJobOutcome& outcome) { outcomes.push_back(outcome); };
  thread_->Submit({{{ICR, 0, 1}, {ICR, 0, 2}, {ICR, 0, 3}}, TRegisterJob::Read::None}, thread_.get(), keep);
  thread_->Submit({{{BRPR, 0, 1}}, TRegisterJob::Read::None}, thread_.get(), keep);
  ASSERT_TRUE(WaitForRequests(2));
  bool ended = false;
  QObject::connect(thread_.get(), &TCANRegAccessThread::terminated, [&] { ended = true; });
  thread_->Terminate();
  ASSERT_TRUE(WaitUntil([&] { return ended && outcomes.size() == 2; }));
  EXPECT_EQ(outcomes[0].result, Result::Cancelled);
  EXPECT_EQ(outcomes[0].writesDone, 1u);
  EXPECT_EQ(outcomes[0].error, "The program closed after 1 of 3 register writes: the cell holds only part of them");
  EXPECT_EQ(outcomes[1].result, Result::Cancelled);
  EXPECT_EQ(outcomes[1].error, "");
  EXPECT_EQ(Requests(), (std::vector<Bytes>{WriteRequest(ICR, 1), WriteRequest(ICR, 2)}));

  // A job handed in afterwards never runs.
  thread_->Submit({{{ICR, 0, 9}}, TRegisterJob::Read::None}, thread_.get(), keep);
  ASSERT_TRUE(WaitForJobs());
  EXPECT_EQ(outcomes.back().result, Result::Cancelled);
  EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(RegisterThread, PassesRunOnlyWhileTheGateIsOpenAndAFailingLinkIsRetried) {
  sim_->pokeRegister(0, BRPR, 0x43);
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(thread_->PassCount(), 0u);
  EXPECT_EQ(thread_->GetMainRegisters()[MainIndex(BRPR)], 0);

  thread_->SetPolling(true);
  ASSERT_TRUE(WaitUntil([&] { return statuses_.size() >= 3; }));
  EXPECT_EQ(statuses_.back(), "");
  EXPECT_EQ(thread_->GetMainRegisters()[MainIndex(BRPR)], 0x43);
  for (const std::string& status : statuses_) ASSERT_EQ(status, "");

  // Reports are coalesced, but an error is always shown before a later good pass clears it.
  sim_->dropAnswers(1);
  const std::size_t before = statuses_.size();
  ASSERT_TRUE(WaitUntil([&] {
    return std::find(statuses_.begin() + static_cast<long>(before), statuses_.end(), "Time out...") != statuses_.end();
  }));
  ASSERT_TRUE(WaitUntil([&] { return statuses_.back().empty(); }));

  // A link that fails at once: the thread goes on trying, and tells why. (How
  // long it pauses between failed passes is measured by bench_appnodes_link.)
  serial_->Close();
  const std::uint64_t passes = thread_->PassCount();
  ASSERT_TRUE(WaitUntil([&] { return thread_->PassCount() >= passes + 3; }));
  ASSERT_TRUE(WaitUntil([&] { return statuses_.back() == "Not allowed when comm port is closed"; }));
}

TEST_F(RegisterThread, APassTakesEveryFrameWaitingInArrivalOrderAndClearsOnlyItsFlags) {
  std::vector<TReception> reports;
  QObject trace;
  const int receiver = thread_->AddReceiver(&trace, [&](const TReception& r) { reports.push_back(r); });
  thread_->SetReceiving(receiver, true);
  sim_->pokeRegister(0, PSR, 4);
  for (std::uint16_t id : {0x100, 0x200, 0x300, 0x400}) sim_->injectFrame(Frame(id, std::uint8_t(id >> 8)));
  sim_->pokeRegister(0, ISR, sim_->peekRegister(0, ISR) | TXIF);  // a flag that is not reception's
  ClearTranscript();
  EXPECT_TRUE(Poll().ok());

  const std::vector<Bytes> expected{
      ReadRequest(0x5A, 6),  // ISR: RXIF1-3, ORIF (0x400 was lost), TXIF
      WriteRequest(0x5F, 1), ReadRequest(0x60, 10),
      ReadRequest(0x6F, 1),  WriteRequest(0x5A, 0xDB),  // buffer 1, its flag and ORIF cleared
      WriteRequest(0x5F, 2), ReadRequest(0x60, 10),
      ReadRequest(0x6F, 1),  WriteRequest(0x5A, 0xBF),  // buffer 2
      WriteRequest(0x5F, 3), ReadRequest(0x60, 10),
      ReadRequest(0x6F, 1),  WriteRequest(0x5A, 0x7F),  // buffer 3
      WriteRequest(0x5F, 4), ReadRequest(0x60, 8)};     // the page PSR showed, as every pass reads it
  EXPECT_EQ(Requests(), expected);
  EXPECT_EQ(sim_->peekRegister(0, ISR), TXIF);

  ASSERT_TRUE(WaitUntil([&] { return !reports.empty(); }));
  ASSERT_EQ(reports.size(), 1u);  // one queued call for the pass
  ASSERT_EQ(reports[0].frames.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(reports[0].frames[k].buffer, int(k + 1));
    EXPECT_EQ(Identifier(reports[0].frames[k].page[0], reports[0].frames[k].page[1]), 0x100 * (k + 1));
  }
  EXPECT_EQ(reports[0].overruns, 1u);
  EXPECT_TRUE(reports[0].overrunNow);

  // The next frame fills buffer 1 again: a pass that found the cell on a
  // buffer page reads it once. With ORIF gone the report says so.
  sim_->pokeRegister(0, PSR, 1);
  sim_->injectFrame(Frame(0x500, 5));
  ClearTranscript();
  EXPECT_TRUE(Poll().ok());
  EXPECT_EQ(Requests(), (std::vector<Bytes>{ReadRequest(0x5A, 6), ReadRequest(0x60, 10), ReadRequest(0x6F, 1),
                                            WriteRequest(0x5A, 0xDF)}));
  ASSERT_TRUE(WaitUntil([&] { return reports.size() == 2; }));
  EXPECT_EQ(reports[1].frames.size(), 1u);
  EXPECT_EQ(reports[1].overruns, 0u);
  EXPECT_FALSE(reports[1].overrunNow);

  // Switched off, a pass leaves the flags alone.
  thread_->SetReceiving(receiver, false);
  sim_->injectFrame(Frame(0x600, 6));
  ClearTranscript();
  EXPECT_TRUE(Poll().ok());
  EXPECT_EQ(Requests(), (std::vector<Bytes>{ReadRequest(0x5A, 6), ReadRequest(0x60, 10), ReadRequest(0x6F, 1)}));
  EXPECT_EQ(sim_->peekRegister(0, ISR) & RXIF1, RXIF1);
}
