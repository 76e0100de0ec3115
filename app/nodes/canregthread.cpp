#include "canregthread.h"

#include "AppError.h"
#include "ComRuntime.h"
#include "RegisterSession.h"
#include "tavarnel.h"

using namespace CanReg;

namespace {
constexpr char kNoMemoryAccess[] = "No link to the board";

// The ISR value that clears exactly `flags`: writing 0 clears a flag and
// writing 1 leaves it as it is. Writing the other bits as they were read
// instead would clear the flag of a frame that reached a free buffer after
// the read, and that frame would be lost without a trace.
std::uint8_t Clearing(std::uint8_t flags) {
  return static_cast<std::uint8_t>(~flags);
}
}  // namespace

TCANRegAccessThread::TCANRegAccessThread(TTavarnelObject* memory, QObject* parent)
    : QObject(parent), memory_(memory), wakeup_(new TMainThreadWakeup([this] { OnWakeup(); }, this)) {}

TCANRegAccessThread::~TCANRegAccessThread() {
  Terminate();
  Wait();
}

void TCANRegAccessThread::Terminate() {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    stopRequested_ = true;
  }
  workChanged_.notify_all();
  // A job or pass waiting for the board's answer ends now, not at its time-out.
  if (memory_) memory_->ShutDown();
}

void TCANRegAccessThread::Resume() {
  if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
}

void TCANRegAccessThread::Wait() {
  if (worker_.joinable()) worker_.join();
}

void TCANRegAccessThread::SetPolling(bool on) {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    polling_ = on;
  }
  workChanged_.notify_all();
}

// ---- the thread's body ----------------------------------------------------------------

void TCANRegAccessThread::Run() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (;;) {
    bool pass = false;
    std::optional<QueuedJob> job = NextWork(pass);
    if (job) {
      RunJob(*job);
      lastRanJob_ = true;
    } else if (pass) {
      lastRanJob_ = false;
      // A pass that failed (an unplugged adapter fails every access at once)
      // is followed by a pause before the next, so that a dead link costs no
      // processor and does not flood the GUI thread with reports. Jobs do
      // not wait for the pause.
      if (!RunRead(ReadScope::SelectedPage).error.empty()) {
        std::lock_guard<std::mutex> guard(queueLock_);
        pauseEnd_ = std::chrono::steady_clock::now() + FailedPassPause;
      }
    } else {
      break;
    }
  }
  // Jobs not begun are cancelled; their outcomes still reach the GUI thread.
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    for (QueuedJob& queued : jobs_) finished_.emplace_back(queued.id, TRegisterJobOutcome{});
    jobs_.clear();
  }
  CoUninitialize();
  finishedPending_ = true;
  wakeup_->post();
}

std::optional<TCANRegAccessThread::QueuedJob> TCANRegAccessThread::NextWork(bool& pass) {
  std::unique_lock<std::mutex> guard(queueLock_);
  for (;;) {
    if (stopRequested_) return std::nullopt;
    const bool passDue = polling_ && std::chrono::steady_clock::now() >= pauseEnd_;
    // Jobs and passes take turns, so that reception keeps its pace while
    // windows hand in job after job.
    if (!jobs_.empty() && !(passDue && lastRanJob_)) {
      QueuedJob job = std::move(jobs_.front());
      jobs_.pop_front();
      return job;
    }
    if (passDue) {
      pass = true;
      return std::nullopt;
    }
    if (polling_)
      workChanged_.wait_until(guard, pauseEnd_);
    else
      workChanged_.wait(guard);
  }
}

void TCANRegAccessThread::RunJob(QueuedJob& job) {
  TRegisterSession session(*this);
  TRegisterJobOutcome outcome;
  outcome.result = TRegisterJobOutcome::Result::Done;
  try {
    job.task(session);
  } catch (const EShutdown&) {
    outcome.result = TRegisterJobOutcome::Result::Cancelled;
    if (session.WritesDone() > 0 && session.WritesDone() < job.plannedWrites)
      outcome.error = "The program closed after " + std::to_string(session.WritesDone()) + " of " +
                      std::to_string(job.plannedWrites) + " register writes: the cell holds only part of them";
  } catch (const EReadFailed& e) {
    outcome.result = TRegisterJobOutcome::Result::ReadFailed;
    outcome.error = e.what();
  } catch (const std::exception& e) {
    outcome.result = TRegisterJobOutcome::Result::WriteFailed;
    outcome.error = e.what();
  }
  outcome.writesDone = session.WritesDone();
  outcome.images = Images();
  Finish(job.id, std::move(outcome));
}

void TCANRegAccessThread::Finish(std::uint64_t id, TRegisterJobOutcome outcome) {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    finished_.emplace_back(id, std::move(outcome));
  }
  wakeup_->post();
}

// ---- jobs, from the GUI thread -------------------------------------------------------------

void TCANRegAccessThread::Submit(TRegisterJob job, QObject* context, JobDone done) {
  const std::size_t planned = job.writes.size();
  Task task = [job = std::move(job)](TRegisterSession& session) {
    session.WriteAll(job.writes);
    if (job.read == TRegisterJob::Read::Cycle) session.ReadCycle();
    if (job.read == TRegisterJob::Read::All) session.ReadAll();
  };
  Enqueue(std::move(task), planned, context, std::move(done));
}

void TCANRegAccessThread::SubmitTask(Task task, QObject* context, JobDone done) {
  Enqueue(std::move(task), 0, context, std::move(done));
}

void TCANRegAccessThread::Enqueue(Task task, std::size_t plannedWrites, QObject* context, JobDone done) {
  const std::uint64_t id = nextJobId_++;
  waiting_[id] = Waiting{QPointer<QObject>(context), std::move(done)};
  bool refused = false;
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    // A job handed in once the thread stops (or after it ended) never runs.
    refused = stopRequested_;
    if (refused)
      finished_.emplace_back(id, TRegisterJobOutcome{});
    else
      jobs_.push_back(QueuedJob{id, std::move(task), plannedWrites});
  }
  if (refused)
    wakeup_->post();
  else
    workChanged_.notify_all();
}

// ---- reception, from the GUI thread ------------------------------------------------------

int TCANRegAccessThread::AddReceiver(QObject* context, ReceptionHandler handler) {
  const int id = nextReceiver_++;
  receivers_[id] = Receiver{QPointer<QObject>(context), std::move(handler), false};
  return id;
}

void TCANRegAccessThread::SetReceiving(int receiver, bool on) {
  const auto it = receivers_.find(receiver);
  if (it == receivers_.end()) return;
  it->second.on = on;
  bool any = false;
  for (const auto& [id, r] : receivers_) any = any || (r.on && r.context);
  receiving_ = any;
}

// ---- the GUI thread's wakeup ---------------------------------------------------------------

void TCANRegAccessThread::OnWakeup() {
  if (statusPending_.exchange(false)) DeliverStatus();
  DeliverOutcomes();
  if (receptionPending_.exchange(false)) DeliverReception();
  if (finishedPending_.exchange(false)) {
    Wait();  // the body has returned; this only lets the thread end
    emit terminated();
  }
}

void TCANRegAccessThread::DeliverOutcomes() {
  std::vector<std::pair<std::uint64_t, TRegisterJobOutcome>> finished;
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    finished.swap(finished_);
  }
  for (auto& [id, outcome] : finished) {
    const auto it = waiting_.find(id);
    if (it == waiting_.end()) continue;
    const Waiting waiting = std::move(it->second);
    waiting_.erase(it);
    if (waiting.context && waiting.done) waiting.done(outcome);
  }
}

void TCANRegAccessThread::DeliverReception() {
  TReception reception;
  {
    std::lock_guard<std::mutex> guard(receptionLock_);
    std::swap(reception, reception_);
  }
  // A handler may add or switch receivers: it walks a copy.
  const std::map<int, Receiver> receivers = receivers_;
  for (const auto& [id, receiver] : receivers)
    if (receiver.on && receiver.context && receiver.handler) receiver.handler(reception);
}

// ---- images ------------------------------------------------------------------------------

TCANRegAccessThread::MainImage TCANRegAccessThread::GetMainRegisters() const {
  std::lock_guard<std::mutex> guard(imageLock_);
  return images_.main;
}

TCANRegAccessThread::PageImage TCANRegAccessThread::GetPage(int page) const {
  std::lock_guard<std::mutex> guard(imageLock_);
  if (page < 0 || page >= PageCount) return PageImage{};
  return images_.pages[static_cast<std::size_t>(page)];
}

TRegisterImages TCANRegAccessThread::Images() const {
  std::lock_guard<std::mutex> guard(imageLock_);
  return images_;
}

void TCANRegAccessThread::StoreMain(const std::uint8_t* bytes) {
  std::lock_guard<std::mutex> guard(imageLock_);
  std::copy(bytes, bytes + MainCount, images_.main.begin());
}

void TCANRegAccessThread::StorePage(int page, int index, const std::uint8_t* bytes, int count) {
  std::lock_guard<std::mutex> guard(imageLock_);
  std::copy(bytes, bytes + count, images_.pages[static_cast<std::size_t>(page)].begin() + index);
}

// ---- the accesses (access thread) ----------------------------------------------------------

void TCANRegAccessThread::Read(std::uint8_t address, std::uint8_t count, std::uint8_t* into) {
  if (stopRequested_) throw EShutdown();
  if (!memory_) throw EAppError(kNoMemoryAccess);
  memory_->ReadMemory(address, into, count);
}

void TCANRegAccessThread::Write(std::uint8_t address, std::uint8_t value) {
  if (stopRequested_) throw EShutdown();
  if (!memory_) throw EAppError(kNoMemoryAccess);
  memory_->WriteMemory(address, &value, 1);
}

void TCANRegAccessThread::WriteRegisterLocked(std::uint8_t address, int page, std::uint8_t value) {
  if (page > 4 || page < 0 || address < First || address > Last) return;
  // The job chooses the page from now on: reception has nothing to restore.
  if (address >= PSR) psrToRestore_.reset();
  if (address > PSR) Write(PSR, static_cast<std::uint8_t>(page));
  Write(address, value);
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

TCANRegAccessThread::ReadOutcome TCANRegAccessThread::RunRead(ReadScope scope) {
  if (stopRequested_) return {};
  if (scope == ReadScope::SelectedPage) ++passes_;
  ReadOutcome outcome{true, {}};
  try {
    ReadLocked(scope);
    SetStatus("");
  } catch (const EShutdown& e) {
    SetStatus(e.what());  // the pass's last word; the program is closing and shows it no more
    return {};
  } catch (const std::exception& e) {
    outcome.error = e.what();
    SetStatus(outcome.error);
  }
  ShowStatus();
  return outcome;
}

void TCANRegAccessThread::ReadLocked(ReadScope scope) {
  // A pass that failed while reception had another page selected puts the
  // cell's page back first.
  if (psrToRestore_) {
    Write(PSR, *psrToRestore_);
    psrToRestore_.reset();
  }
  std::uint8_t main[MainCount];
  Read(ISR, MainCount, main);
  StoreMain(main);
  const std::uint8_t selected = main[MainIndex(PSR)];
  if (scope == ReadScope::SelectedPage) {
    // A buffer page that reception has just read is not read twice.
    if (!TakeFrames(main[MainIndex(ISR)], selected)) ReadSelectedPage(selected);
    return;
  }
  for (const std::uint8_t page : {0, 4, 1, 2, 3}) {
    Write(PSR, page);
    ReadSelectedPage(page);
  }
  Write(PSR, selected);
}

bool TCANRegAccessThread::TakeFrames(std::uint8_t isr, std::uint8_t psr) {
  const bool receiving = receiving_;
  if (receiving != receivingSeen_) {
    // Switched on: frames already waiting are taken lowest buffer first.
    // Switched off: others may clear the flags meanwhile.
    order_.Clear();
    overrunReported_ = false;
    receivingSeen_ = receiving;
  }
  if (!receiving) return false;

  order_.Observe(isr);
  const bool overrun = isr & ORIF;
  std::uint8_t orifToClear = overrun ? ORIF : 0;
  std::uint8_t shown = psr;  // the page the cell shows now
  bool selectedRead = false;
  std::vector<TReceivedFrame> frames;
  try {
    const std::deque<int> pending = order_.Pending();
    for (const int buffer : pending) {
      const auto page = static_cast<std::uint8_t>(buffer);
      if (shown != page) {
        psrToRestore_ = psr;
        Write(PSR, page);
        shown = page;
      }
      ReadSelectedPage(page);
      selectedRead = selectedRead || page == psr;
      TReceivedFrame frame{buffer, GetPage(buffer), std::chrono::system_clock::now()};
      Write(ISR, Clearing(static_cast<std::uint8_t>(RxFlag(buffer) | orifToClear)));
      orifToClear = 0;
      order_.Taken(buffer);
      frames.push_back(frame);
    }
    if (orifToClear) {
      Write(ISR, Clearing(ORIF));
      orifToClear = 0;
    }
    if (shown != psr) Write(PSR, psr);
    psrToRestore_.reset();
  } catch (...) {
    // Frames whose flag was cleared are taken; the others stay on the cell
    // for the next pass. ORIF counts once it has been cleared.
    Report(std::move(frames), overrun && !orifToClear ? 1 : 0, overrun);
    throw;
  }
  Report(std::move(frames), overrun ? 1 : 0, overrun);
  return selectedRead;
}

void TCANRegAccessThread::Report(std::vector<TReceivedFrame> frames, std::uint32_t overruns, bool overrunNow) {
  if (frames.empty() && overruns == 0 && overrunNow == overrunReported_) return;
  overrunReported_ = overrunNow;
  {
    std::lock_guard<std::mutex> guard(receptionLock_);
    reception_.frames.insert(reception_.frames.end(), frames.begin(), frames.end());
    reception_.overruns += overruns;
    reception_.overrunNow = overrunNow;
  }
  if (!receptionPending_.exchange(true)) wakeup_->post();
}

// ---- status --------------------------------------------------------------------------------

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
  if (!statusPending_.exchange(true)) wakeup_->post();
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
