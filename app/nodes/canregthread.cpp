#include "canregthread.h"

#include "ComRuntime.h"
#include "tavarnel.h"

using namespace CanReg;

namespace {
// True on the register access thread itself.
thread_local bool onPollingThread = false;
}  // namespace

TCANRegAccessThread::TCANRegAccessThread(TTavarnelObject* memory, QObject* parent)
    : QObject(parent), memory_(memory), wakeup_(new MainThreadWakeup([this] { OnWakeup(); }, this)) {}

TCANRegAccessThread::~TCANRegAccessThread() {
  Terminate();
  Wait();
}

void TCANRegAccessThread::Terminate() {
  {
    std::lock_guard<std::mutex> guard(pauseLock_);
    stopRequested_ = true;
  }
  pauseEnd_.notify_all();
  lock_.Close();
}

void TCANRegAccessThread::Resume() {
  if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
}

void TCANRegAccessThread::Wait() {
  if (worker_.joinable()) worker_.join();
}

void TCANRegAccessThread::Run() {
  onPollingThread = true;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  while (!stopRequested_) {
    ReadCycle();
    // A pass that failed (an unplugged adapter fails every access at once)
    // is followed by a pause before the next, so that a dead link costs no
    // processor and does not flood the main thread with reports. Terminate
    // ends the pause.
    if (!StatusText().empty()) {
      std::unique_lock<std::mutex> guard(pauseLock_);
      pauseEnd_.wait_for(guard, FailedPassPause, [this] { return stopRequested_.load(); });
    }
  }
  CoUninitialize();
  finishedPending_ = true;
  wakeup_->Post();
}

void TCANRegAccessThread::OnWakeup() {
  if (statusPending_.exchange(false)) DeliverStatus();
  if (finishedPending_.exchange(false)) {
    Wait();  // the body has returned; this only lets the thread end
    emit terminated();
  }
}

TCANRegAccessThread::MainImage TCANRegAccessThread::GetMainRegisters() const {
  std::lock_guard<std::mutex> guard(imageLock_);
  return main_;
}

TCANRegAccessThread::PageImage TCANRegAccessThread::GetPage(int page) const {
  std::lock_guard<std::mutex> guard(imageLock_);
  if (page < 0 || page >= PageCount) return PageImage{};
  return pages_[static_cast<std::size_t>(page)];
}

void TCANRegAccessThread::StoreMain(const std::uint8_t* bytes) {
  std::lock_guard<std::mutex> guard(imageLock_);
  std::copy(bytes, bytes + MainCount, main_.begin());
}

void TCANRegAccessThread::StorePage(int page, int index, const std::uint8_t* bytes, int count) {
  std::lock_guard<std::mutex> guard(imageLock_);
  std::copy(bytes, bytes + count, pages_[static_cast<std::size_t>(page)].begin() + index);
}

void TCANRegAccessThread::Read(std::uint8_t address, std::uint8_t count, std::uint8_t* into) {
  memory_->ReadMemory(address, into, count);
}

void TCANRegAccessThread::Write(std::uint8_t address, std::uint8_t value) {
  memory_->WriteMemory(address, &value, 1);
}

void TCANRegAccessThread::WriteRegisterLocked(std::uint8_t address, int page, std::uint8_t value) {
  if (stopRequested_ || page > 4 || page < 0 || address < First || address > Last) return;
  if (address > PSR) Write(PSR, static_cast<std::uint8_t>(page));
  Write(address, value);
}

void TCANRegAccessThread::WriteRegister(std::uint8_t address, int page, std::uint8_t value) {
  {
    const RegisterLockHold hold(lock_);
    if (!hold.held() || stopRequested_) return;
    WriteRegisterLocked(address, page, value);
  }
  ReadCycle();
}

void TCANRegAccessThread::ReadSelectedPage(std::uint8_t page) {
  std::uint8_t bytes[PageSize];
  if (page == DiagnosisPage) {
    Read(LIDHR, 2, bytes);
    StorePage(DiagnosisPage, PageIndex(LIDHR), bytes, 2);
    Read(TECR, 2, bytes);
    StorePage(DiagnosisPage, PageIndex(TECR), bytes, 2);
  } else if (IsBufferPage(page)) {
    Read(IDHR, 10, bytes);
    StorePage(page, PageIndex(IDHR), bytes, 10);
    Read(BCSR, 1, bytes);
    StorePage(page, PageIndex(BCSR), bytes, 1);
  } else if (page == FilterPage) {
    Read(FHR0, 8, bytes);
    StorePage(FilterPage, PageIndex(FHR0), bytes, 8);
  }
}

void TCANRegAccessThread::ReadCycle() {
  RunRead(ReadScope::SelectedPage, true);
}

void TCANRegAccessThread::ReadAll(bool takeLock) {
  RunRead(ReadScope::AllPages, takeLock);
}

TCANRegAccessThread::ReadOutcome TCANRegAccessThread::RunRead(ReadScope scope, bool takeLock) {
  if (stopRequested_) return {};
  if (scope == ReadScope::SelectedPage) ++passes_;
  // The polling thread lets a waiting window go first; a window's own pass takes the lock at once.
  using Take = RegisterLockHold::Take;
  const Take take = !takeLock                                             ? Take::CallerHolds
                    : scope == ReadScope::SelectedPage && onPollingThread ? Take::BehindWaiters
                                                                          : Take::Now;
  ReadOutcome outcome{true, {}};
  {
    const RegisterLockHold hold(lock_, take);
    if (!hold.held() || stopRequested_) return {};
    try {
      ReadLocked(scope);
      SetStatus("");
    } catch (const std::exception& e) {
      outcome.error = e.what();
      SetStatus(outcome.error);
    }
  }
  // Shown after the release: the main thread may be waiting for the lock.
  ShowStatus();
  std::this_thread::yield();
  return outcome;
}

void TCANRegAccessThread::ReadLocked(ReadScope scope) {
  std::uint8_t main[MainCount];
  Read(ISR, MainCount, main);
  StoreMain(main);
  const std::uint8_t selected = main[MainIndex(PSR)];
  if (scope == ReadScope::SelectedPage) {
    ReadSelectedPage(selected);
    return;
  }
  for (const std::uint8_t page : {0, 4, 1, 2, 3}) {
    Write(PSR, page);
    ReadSelectedPage(page);
  }
  Write(PSR, selected);
}

void TCANRegAccessThread::SetStatus(const std::string& text) {
  std::lock_guard<std::mutex> guard(statusLock_);
  statusText_ = text;
  if (!text.empty()) unshownError_ = text;
}

std::string TCANRegAccessThread::StatusText() const {
  std::lock_guard<std::mutex> guard(statusLock_);
  return statusText_;
}

void TCANRegAccessThread::ShowStatus() {
  if (!onPollingThread) {  // a window's own access, on the main thread
    DeliverStatus();
    return;
  }
  if (!statusPending_.exchange(true)) wakeup_->Post();
}

void TCANRegAccessThread::DeliverStatus() {
  std::string error, latest;
  {
    std::lock_guard<std::mutex> guard(statusLock_);
    error.swap(unshownError_);
    latest = statusText_;
  }
  if (!statusHandler_) return;
  if (!error.empty() && error != latest) statusHandler_(error);
  statusHandler_(latest);
}
