// The register access thread against the simulated board: exact request
// sequences from the board's transcript, images, status reports, stopping.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <thread>

#include "LinkFixture.h"
#include "canregthread.h"

using Bytes = std::vector<std::uint8_t>;
using namespace CanReg;

namespace {
class RegisterThread : public LinkFixture {
 protected:
  void SetUp() override {
    LinkFixture::SetUp();
    thread_ = std::make_unique<TCANRegAccessThread>(protocol_.get());
    thread_->SetStatusHandler([this](const std::string& status) {
      EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());  // always the main thread
      statuses_.push_back(status);
    });
  }
  void TearDown() override {
    if (thread_) {
      thread_->Terminate();
      thread_->Wait();
      thread_.reset();
    }
    LinkFixture::TearDown();
  }
  // Runs the main thread's event loop until `done`, for 10 s at most.
  bool ProcessUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
  }

  std::unique_ptr<TCANRegAccessThread> thread_;
  std::vector<std::string> statuses_;
};
}  // namespace

TEST_F(RegisterThread, APassReadsTheMainRegistersAndThePageThatPsrShows) {
  struct Case {
    std::uint8_t psr;
    std::vector<Bytes> paged;
  };
  const Case cases[] = {
      {0, {Read(0x60, 2), Read(0x6E, 2)}},
      {2, {Read(0x60, 10), Read(0x6F, 1)}},
      {4, {Read(0x60, 8)}},
  };
  for (const Case& c : cases) {
    sim_->pokeRegister(0, PSR, c.psr);
    ClearTranscript();
    thread_->ReadCycle();
    std::vector<Bytes> expected{Read(0x5A, 6)};
    expected.insert(expected.end(), c.paged.begin(), c.paged.end());
    EXPECT_EQ(Requests(), expected) << "PSR " << int(c.psr);
  }
  // A PSR the cell cannot hold (5-255): main registers only. The simulated
  // cell keeps three bits of a PSR written to it, so its raw storage is poked.
  for (const std::uint8_t psr : {5, 7, 255}) {
    sim_->pokeRegister(0, PSR, psr);
    ASSERT_EQ(sim_->readMemory(PSR, 1)[0], psr);
    ClearTranscript();
    thread_->ReadCycle();
    EXPECT_EQ(Requests(), (std::vector<Bytes>{Read(0x5A, 6)})) << "PSR " << int(psr);
    EXPECT_EQ(thread_->GetMainRegisters()[MainIndex(PSR)], psr);
  }
  EXPECT_EQ(statuses_.back(), "");  // run on the main thread: shown at once
}

TEST_F(RegisterThread, ReadAllVisitsEveryPageAndRestoresPsr) {
  sim_->pokeRegister(0, PSR, 2);
  sim_->pokeRegister(3, BCSR, 0x0C);  // buffer 3 occupied, filter 1
  sim_->pokeRegister(4, MHR1, 0x7E);
  sim_->pokeRegister(0, TECR, 0x21);
  ClearTranscript();
  thread_->ReadAll(true);
  const std::vector<Bytes> expected{Read(0x5A, 6),  Write(0x5F, 0), Read(0x60, 2),  Read(0x6E, 2),
                                    Write(0x5F, 4), Read(0x60, 8),  Write(0x5F, 1), Read(0x60, 10),
                                    Read(0x6F, 1),  Write(0x5F, 2), Read(0x60, 10), Read(0x6F, 1),
                                    Write(0x5F, 3), Read(0x60, 10), Read(0x6F, 1),  Write(0x5F, 2)};
  EXPECT_EQ(Requests(), expected);
  EXPECT_EQ(sim_->peekRegister(0, PSR), 2);
  EXPECT_EQ(thread_->GetPage(3)[15], 0x0C);  // BCSR lands in byte 15
  for (int i = 10; i < 15; ++i) EXPECT_EQ(thread_->GetPage(3)[static_cast<std::size_t>(i)], 0);
  EXPECT_EQ(thread_->GetPage(4)[PageIndex(MHR1)], 0x7E);
  EXPECT_EQ(thread_->GetPage(0)[14], 0x21);
  EXPECT_EQ(thread_->GetMainRegisters()[MainIndex(PSR)], 2);
}

TEST_F(RegisterThread, WritesSelectThePageFirstAndRefuseAddressesOutsideTheCell) {
  sim_->pokeRegister(0, PSR, 0);
  thread_->WriteRegister(0x60, 2, 0x55);
  const auto requests = Requests();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[0], Write(0x5F, 2));
  EXPECT_EQ(requests[1], Write(0x60, 0x55));
  EXPECT_EQ(requests[2], Read(0x5A, 6));  // the read cycle that follows now shows page 2
  EXPECT_EQ(requests.back(), Read(0x6F, 1));
  EXPECT_EQ(thread_->GetPage(2)[0], 0x55);

  ClearTranscript();
  thread_->WriteRegister(0x5C, 0, 0x01);  // a main register: one write
  EXPECT_EQ(Requests().front(), Write(0x5C, 0x01));

  ClearTranscript();
  thread_->Lock();
  thread_->WriteRegisterLocked(0x59, 0, 1);
  thread_->WriteRegisterLocked(0x70, 0, 1);
  thread_->WriteRegisterLocked(0x60, 5, 1);
  thread_->Unlock();
  EXPECT_TRUE(Requests().empty());
}

TEST_F(RegisterThread, AfterTheStopRequestNothingIsWrittenAndTheLockIsFree) {
  thread_->Terminate();
  thread_->WriteRegister(0x5C, 0, 0x01);
  thread_->ReadCycle();
  thread_->ReadAll(true);
  EXPECT_TRUE(Requests().empty());
  std::atomic<bool> locked{false};
  std::thread other([&] {
    thread_->Lock();
    locked = true;
    thread_->Unlock();
  });
  other.join();
  EXPECT_TRUE(locked);
}

TEST_F(RegisterThread, AFailedPassShowsItsMessageAndTheNextGoodPassClearsIt) {
  sim_->dropAnswers(1);
  thread_->ReadCycle();
  EXPECT_EQ(thread_->StatusText(), "Time out...");
  ASSERT_FALSE(statuses_.empty());
  EXPECT_EQ(statuses_.back(), "Time out...");
  thread_->ReadCycle();
  EXPECT_EQ(statuses_.back(), "");

  const std::uint8_t one = 1;
  sim_->corruptAnswers(1);
  thread_->Lock();
  EXPECT_THROW(thread_->WriteRegisterLocked(0x5C, 0, one), EAppError);  // write errors reach the caller
  thread_->Unlock();
}

TEST_F(RegisterThread, TheRunningThreadReportsToTheMainThreadAndWaitsWhileTheLinkIsDown) {
  sim_->pokeRegister(0, BRPR, 0x43);
  // Link "down": the main thread holds the lock; the thread's pass waits.
  thread_->Lock();
  thread_->Resume();
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_TRUE(statuses_.empty());
  thread_->Lock();  // re-entrant from the main thread while the thread waits
  EXPECT_EQ(thread_->GetMainRegisters()[MainIndex(BRPR)], 0);
  thread_->Unlock();
  thread_->Unlock();

  ASSERT_TRUE(ProcessUntil([&] { return statuses_.size() >= 3; }));
  EXPECT_EQ(statuses_.back(), "");
  EXPECT_EQ(thread_->GetMainRegisters()[MainIndex(BRPR)], 0x43);

  // A silent board: the thread's passes fail and show it, then recover.
  sim_->dropAnswers(1);
  // Reports are coalesced, but an error is always shown before a later good pass clears it.
  const std::size_t before = statuses_.size();
  ASSERT_TRUE(ProcessUntil([&] {
    return std::find(statuses_.begin() + static_cast<long>(before), statuses_.end(), "Time out...") != statuses_.end();
  }));
  ASSERT_TRUE(ProcessUntil([&] { return statuses_.back().empty(); }));

  bool finished = false;
  QObject::connect(thread_.get(), &TCANRegAccessThread::terminated, [&] { finished = true; });
  thread_->Terminate();
  ASSERT_TRUE(ProcessUntil([&] { return finished; }));
}

// A link that fails at once: the thread goes on trying, and the main thread
// is told why. (How long it pauses between failed passes is measured by
// bench_appnodes_link.)
TEST_F(RegisterThread, ALinkThatFailsAtOnceIsRetriedAndShowsWhy) {
  serial_->Close();  // every access now fails at once: "Not allowed when comm port is closed"
  thread_->Resume();
  ASSERT_TRUE(ProcessUntil([&] { return thread_->PassCount() >= 3; }));
  EXPECT_EQ(thread_->StatusText(), "Not allowed when comm port is closed");
  ASSERT_TRUE(ProcessUntil([&] { return !statuses_.empty(); }));
  EXPECT_EQ(statuses_.back(), "Not allowed when comm port is closed");
}
