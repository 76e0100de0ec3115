// A board simulator on the far end of a pty, and the program's two node
// wrappers stacked over it exactly as the main window stacks them; with
// BoardThreadFixture, also the register access thread running over them.
// Tests compare the board's requests with the frames of MonitorFrames.h and
// wait for the thread's reports with WaitUntil (testing/).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "MonitorFrames.h"
#include "WaitUntil.h"
#include "boardsim/BoardSimulator.h"
#include "canregthread.h"
#include "rs232.h"
#include "tavarnel.h"

class LinkFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Lets a derived fixture add to the simulator's options (it answers at once by default).
  virtual void ConfigureBoard(boardsim::BoardSimulator::Options&) {}

  // The requests the board has served since the last ClearTranscript.
  std::vector<std::vector<std::uint8_t>> Requests() { return sim_->transcript().requests(); }
  void ClearTranscript() { sim_->transcript().clear(); }
  // Runs `hook` on the simulator's thread for each request it has served,
  // before its answer goes out. Any thread may set or replace it.
  void OnRequest(std::function<void(const std::vector<std::uint8_t>&)> hook) {
    std::lock_guard<std::mutex> guard(onRequestLock_);
    onRequest_ = std::move(hook);
  }
  // Waits until the board has served n requests (answers included) since the last clear.
  bool WaitForRequests(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5));

  std::unique_ptr<boardsim::BoardSimulator> sim_;
  std::unique_ptr<TRS232Object> serial_;
  std::unique_ptr<TTavarnelObject> protocol_;
  // The protocol node's TimeOut. A test that drops an answer waits this long
  // for the time-out; every other exchange must never reach it, however busy
  // the machine (sanitizer builds, parallel tests), or a good pass would fail.
  int timeOutMs_ = 3000;

 private:
  std::mutex onRequestLock_;  // guards onRequest_ (test thread and simulator thread)
  std::function<void(const std::vector<std::uint8_t>&)> onRequest_;
};

// The link with the register access thread running over it, polling gate
// shut: no pass runs unless a test runs one (Poll) or opens the gate, so
// the board's transcript shows exactly what a job did. Status reports are
// recorded in statuses_.
class BoardThreadFixture : public LinkFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Hands the job to the thread and waits for its outcome.
  TRegisterJobOutcome RunJob(TRegisterJob job);
  TRegisterJobOutcome RunTask(TCANRegAccessThread::Task task);
  // One polling pass, as a job: the main registers and the page PSR shows.
  TRegisterJobOutcome Poll() { return RunJob({{}, TRegisterJob::Read::Cycle}); }
  TRegisterJobOutcome ReadAll() { return RunJob({{}, TRegisterJob::Read::All}); }
  // Waits until every job handed in has its outcome delivered.
  bool WaitForJobs() {
    return WaitUntil([this] { return thread_->JobsPending() == 0; });
  }

  std::unique_ptr<TCANRegAccessThread> thread_;
  std::vector<std::string> statuses_;
};
