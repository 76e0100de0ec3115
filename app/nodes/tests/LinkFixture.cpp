#include "LinkFixture.h"

#include <cstdlib>
#include <optional>

void LinkFixture::SetUp() {
  boardsim::BoardSimulator::Options options;
  options.instant = true;
  options.onTranscript = [this](const boardsim::TranscriptEntry& entry) {
    if (entry.kind != boardsim::TranscriptEntry::Kind::Request) return;
    std::function<void(const std::vector<std::uint8_t>&)> hook;
    {
      std::lock_guard<std::mutex> guard(onRequestLock_);
      hook = onRequest_;
    }
    if (hook) hook(entry.bytes);
  };
  ConfigureBoard(options);
  sim_ = std::make_unique<boardsim::BoardSimulator>(options);
  sim_->start();
  setenv("VORELAN_COM1", sim_->slavePath().c_str(), 1);

  serial_ = std::make_unique<TRS232Object>();
  protocol_ = std::make_unique<TTavarnelObject>();
  serial_->SetProperty("CommPort", "1");
  serial_->SetProperty("Settings", "19200,n,8,1");
  protocol_->SetProperty("TimeOut", std::to_string(timeOutMs_));
  protocol_->SetLowerNode(serial_.get());
  protocol_->Open();
  serial_->Open();
  ClearTranscript();
}

void LinkFixture::TearDown() {
  // As the main window does: nothing may still be delivered to the protocol
  // wrapper when it goes, so the serial node (whose poll thread delivers) goes first.
  if (protocol_) protocol_->ShutDown();
  serial_.reset();
  protocol_.reset();
  if (sim_) sim_->stop();
}

bool LinkFixture::WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Requests().size() < n) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    // The transcript counts answers too: wait for one more entry at a time.
    sim_->transcript().waitForEntries(sim_->transcript().size() + 1, std::chrono::milliseconds(50));
  }
  return true;
}

void BoardThreadFixture::SetUp() {
  LinkFixture::SetUp();
  if (HasFatalFailure()) return;
  thread_ = std::make_unique<TCANRegAccessThread>(protocol_.get());
  thread_->SetStatusHandler([this](const std::string& status) { statuses_.push_back(status); });
  thread_->Resume();
}

void BoardThreadFixture::TearDown() {
  OnRequest(nullptr);
  thread_.reset();  // stops the thread; a wait for the board ends at once
  LinkFixture::TearDown();
}

TRegisterJobOutcome BoardThreadFixture::RunJob(TRegisterJob job) {
  std::optional<TRegisterJobOutcome> outcome;
  thread_->Submit(std::move(job), thread_.get(), [&outcome](const TRegisterJobOutcome& o) { outcome = o; });
  EXPECT_TRUE(WaitUntil([&outcome] { return outcome.has_value(); }));
  return outcome.value_or(TRegisterJobOutcome{});
}

TRegisterJobOutcome BoardThreadFixture::RunTask(TCANRegAccessThread::Task task) {
  std::optional<TRegisterJobOutcome> outcome;
  thread_->SubmitTask(std::move(task), thread_.get(), [&outcome](const TRegisterJobOutcome& o) { outcome = o; });
  EXPECT_TRUE(WaitUntil([&outcome] { return outcome.has_value(); }));
  return outcome.value_or(TRegisterJobOutcome{});
}
