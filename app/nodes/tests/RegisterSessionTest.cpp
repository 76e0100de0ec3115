// Register sessions against the simulated board: the lock held for the
// session and released on every path, one error type for every failure,
// refusal once the thread is told to stop, and a close that completes while
// someone else holds the lock.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "AppError.h"
#include "LinkFixture.h"
#include "RegisterSession.h"
#include "canregthread.h"

using Bytes = std::vector<std::uint8_t>;
using namespace CanReg;

namespace {

// Waits until `condition` holds, for 10 s at most; true when it held.
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class RegisterSessionTest : public LinkFixture {
 protected:
  void SetUp() override {
    LinkFixture::SetUp();
    thread_ = std::make_unique<TCANRegAccessThread>(protocol_.get());
    thread_->SetStatusHandler([this](const std::string& status) { statuses_.push_back(status); });
  }
  void TearDown() override {
    thread_->Terminate();
    thread_->Wait();
    thread_.reset();
    LinkFixture::TearDown();
  }

  // Whether another thread gets the register lock. A lock that is never
  // given back fails this after 10 s, and the stop request ends the wait.
  bool FreeForOthers() {
    std::future<bool> taken = std::async(std::launch::async, [this] {
      if (!thread_->Lock()) return false;
      thread_->Unlock();
      return true;
    });
    if (taken.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) thread_->Terminate();
    return taken.get();
  }

  std::unique_ptr<TCANRegAccessThread> thread_;
  std::vector<std::string> statuses_;
};

}  // namespace

TEST_F(RegisterSessionTest, WritesInOrderUnderTheLockAndReleasesIt) {
  {
    TRegisterSession session(*thread_);
    EXPECT_TRUE(thread_->registerLock().HeldByMe());
    // A filter set on page 4 and the bit timing: PSR goes first for each paged register.
    session.WriteAll({{FHR0, FilterPage, 0x24}, {FLR0, FilterPage, 0x60}, {BRPR, 0, 0x43}, {BTR, 0, 0x2F}});
    // Outside the cell, or no page: nothing, and no error.
    session.WriteAll({{0x59, 0, 1}, {0x70, 0, 1}, {0x60, 5, 1}});
  }
  EXPECT_EQ(Requests(), (std::vector<Bytes>{Write(PSR, 4), Write(FHR0, 0x24), Write(PSR, 4), Write(FLR0, 0x60),
                                            Write(BRPR, 0x43), Write(BTR, 0x2F)}));
  EXPECT_EQ(sim_->peekRegister(FilterPage, FLR0), 0x60);
  EXPECT_FALSE(thread_->registerLock().HeldByMe());
  EXPECT_TRUE(FreeForOthers());
}

TEST_F(RegisterSessionTest, AFailedWriteEndsTheSequenceAndReleasesTheLock) {
  try {
    TRegisterSession session(*thread_);
    session.Write(ICR, 0, 0x01);
    sim_->corruptAnswers(1);
    session.WriteAll({{BRPR, 0, 0x43}, {BTR, 0, 0x2F}});
    FAIL() << "the write did not fail";
  } catch (const EAppError& e) {
    EXPECT_FALSE(std::string(e.what()).empty());
  }
  EXPECT_EQ(Requests(), (std::vector<Bytes>{Write(ICR, 0x01), Write(BRPR, 0x43)}));  // BTR never went out
  EXPECT_TRUE(FreeForOthers());
}

TEST_F(RegisterSessionTest, AFailedReadThrowsAfterShowingItsStatus) {
  sim_->corruptAnswers(1);
  try {
    TRegisterSession session(*thread_);
    session.ReadCycle();
    FAIL() << "the read did not fail";
  } catch (const EReadFailed& e) {
    EXPECT_EQ(e.what(), thread_->StatusText());
    ASSERT_FALSE(statuses_.empty());
    EXPECT_EQ(statuses_.back(), e.what());  // already shown, at once, in this thread
  }
  EXPECT_TRUE(FreeForOthers());

  // A full read that fails throws the same way.
  sim_->pokeRegister(0, PSR, 2);
  EXPECT_THROW(
      {
        TRegisterSession session(*thread_);
        sim_->corruptAnswers(1);
        session.ReadAll();
      },
      EReadFailed);
  EXPECT_TRUE(FreeForOthers());

  // And a good one clears the status.
  TRegisterSession session(*thread_);
  session.ReadAll();
  EXPECT_EQ(thread_->StatusText(), "");
  EXPECT_EQ(session.MainRegisters()[MainIndex(PSR)], sim_->peekRegister(0, PSR));
}

TEST_F(RegisterSessionTest, NestsInsideTheMainThreadsHold) {
  ASSERT_TRUE(thread_->Lock());  // the link is down: the main thread holds the lock
  {
    TRegisterSession session(*thread_);
    session.Write(CSR, 0, 0x00);
  }
  EXPECT_TRUE(thread_->registerLock().HeldByMe());  // still held once
  thread_->Unlock();
  EXPECT_TRUE(FreeForOthers());
}

TEST_F(RegisterSessionTest, IsRefusedOnceTheThreadIsToldToStop) {
  TRegisterSession open(*thread_);
  thread_->Terminate();
  EXPECT_THROW(open.Write(CSR, 0, 0x01), EShutdown);
  EXPECT_THROW(open.ReadCycle(), EShutdown);
  EXPECT_THROW(open.ReadAll(), EShutdown);
  EXPECT_THROW(TRegisterSession{*thread_}, EShutdown);  // nested: refused too
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(thread_->registerLock().HeldByMe());  // the open session still holds it
}

TEST_F(RegisterSessionTest, ARefusedSessionHoldsNothing) {
  thread_->Terminate();
  EXPECT_THROW(TRegisterSession{*thread_}, EShutdown);
  EXPECT_FALSE(thread_->registerLock().HeldByMe());
  EXPECT_TRUE(FreeForOthers());
  EXPECT_TRUE(Requests().empty());
}

// The main thread holds the lock (the link is down) and never gives it back:
// the stop request still ends the polling thread, which waits for the lock.
TEST_F(RegisterSessionTest, TheStopEndsEveryWaitForTheLock) {
  ASSERT_TRUE(thread_->Lock());
  thread_->Resume();
  // A second thread waits for the lock as a window would.
  std::promise<bool> windowTook;
  std::thread window([&] { windowTook.set_value(thread_->Lock()); });
  ASSERT_TRUE(WaitUntil([&] { return thread_->PassCount() == 1 && thread_->registerLock().Waiting() == 1; }));
  thread_->Terminate();
  EXPECT_FALSE(windowTook.get_future().get());  // the wait ended without the lock
  window.join();
  thread_->Wait();  // the polling thread's body has returned
  thread_->Unlock();
  EXPECT_EQ(thread_->PassCount(), 1u);  // its one pass waited and read nothing
  EXPECT_TRUE(Requests().empty());
}
