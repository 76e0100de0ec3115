// TCANRegAccessThread: the program's only way to the CAN registers, and the
// only thread that talks to the board. Its thread reads the registers over
// and over into the main image and five page images, takes the frames the
// cell receives while someone wants them, and runs the register jobs that
// windows, the register file and the link hand it, one at a time, between
// its polling passes. Nothing else waits on the board: a job's outcome, the
// passes' status, the received frames and the thread's end reach the GUI
// thread by queued calls.
#pragma once

#include <QObject>
#include <QPointer>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CanRegisterMap.h"
#include "MainThreadWakeup.h"
#include "ReceptionOrder.h"
#include "RegisterJob.h"

class TRegisterSession;
class TTavarnelObject;

// The thread is a std::thread rather than a QThread: QThread's own
// start/finish handshake uses Qt's internal locks, which ThreadSanitizer
// cannot see in Debian's Qt, and nothing here needs a Qt event loop.
class TCANRegAccessThread : public QObject {
  Q_OBJECT

 public:
  using MainImage = TRegisterImages::MainImage;
  using PageImage = TRegisterImages::PageImage;
  // Shows a pass's status text; runs in the GUI thread.
  using StatusHandler = std::function<void(const std::string& status)>;
  // A job's outcome; runs in the GUI thread.
  using JobDone = std::function<void(const TRegisterJobOutcome& outcome)>;
  // Steps of the node layer run on the access thread (the link's connection,
  // the bridge's frames). Windows hand data jobs (TRegisterJob) instead.
  using Task = std::function<void(TRegisterSession& session)>;
  // Frames taken off the cell; runs in the GUI thread.
  using ReceptionHandler = std::function<void(const TReception& reception)>;

  // Created suspended: the thread runs once Resume is called. Must be created
  // in the GUI thread, where every report is delivered.
  explicit TCANRegAccessThread(TTavarnelObject* memory, QObject* parent = nullptr);
  // Requests the stop and joins the thread (which ends at once: Terminate
  // ends its wait for the board).
  ~TCANRegAccessThread() override;

  // Starts the thread (once).
  void Resume();
  // Joins the thread after the stop request; returns at once if it never ran.
  void Wait();
  // Pause after a failed pass before the next one.
  static constexpr std::chrono::milliseconds FailedPassPause{100};

  // The stop request, from any thread: jobs not yet begun are cancelled, a
  // wait for the board ends at once (the memory access shuts down), and the
  // thread's body returns. `terminated` follows in the GUI thread.
  void Terminate();
  bool Terminated() const { return stopRequested_; }

  // The polling gate, from any thread: passes run back to back while it is
  // open (the link is connected), none while it is shut. Jobs run either way.
  void SetPolling(bool on);
  bool Polling() const { return polling_; }

  // Copies of the images as the last pass, job or full read left them. Any
  // thread; a copy never waits for the board.
  MainImage GetMainRegisters() const;
  PageImage GetPage(int page) const;
  TRegisterImages Images() const;

  // ---- jobs (GUI thread)
  // Queues `job`; it runs after the jobs given before it. `done` runs in the
  // GUI thread with its outcome, unless `context` has been destroyed by then.
  // Once the thread has been told to stop, the job is cancelled without running.
  void Submit(TRegisterJob job, QObject* context, JobDone done = {});
  void SubmitTask(Task task, QObject* context, JobDone done = {});
  // Jobs submitted whose outcome has not been delivered yet.
  int JobsPending() const { return static_cast<int>(waiting_.size()); }

  // ---- reception (GUI thread)
  // A receiver of the frames the passes take off the cell: off until
  // SetReceiving. While any receiver is on, every pass reads each receive
  // buffer whose flag is set, in arrival order, and clears that flag alone.
  // `handler` gets every report made while it is on, unless `context` is gone.
  int AddReceiver(QObject* context, ReceptionHandler handler);
  void SetReceiving(int receiver, bool on);

  // Polling passes begun so far (any thread), for diagnosis.
  std::uint64_t PassCount() const { return passes_; }
  // The text of the last pass: empty after a good one, else its error.
  std::string StatusText() const;
  void SetStatusHandler(StatusHandler handler) { statusHandler_ = std::move(handler); }

 signals:
  // The on-terminate notification: emitted in the GUI thread once the
  // thread's body has returned (after its last reports).
  void terminated();

 private:
  friend class TRegisterSession;

  struct QueuedJob {
    std::uint64_t id = 0;
    Task task;
    std::size_t plannedWrites = 0;  // of a data job; 0 for a task
  };
  struct Waiting {  // GUI thread's side of a queued job
    QPointer<QObject> context;
    JobDone done;
  };
  struct Receiver {
    QPointer<QObject> context;
    ReceptionHandler handler;
    bool on = false;
  };
  enum class ReadScope { SelectedPage, AllPages };
  // What a read did: nothing (the stop was requested), or a read whose
  // status is set and shown, with its error message when it failed.
  struct ReadOutcome {
    bool ran = false;
    std::string error;
  };

  void Run();  // the thread's body
  // Waits for the next thing to do: a job (returned), a pass (nullopt and
  // `pass` set), or the stop (nullopt).
  std::optional<QueuedJob> NextWork(bool& pass);
  void RunJob(QueuedJob& job);
  void Enqueue(Task task, std::size_t plannedWrites, QObject* context, JobDone done);
  void Finish(std::uint64_t id, TRegisterJobOutcome outcome);

  // The body of a pass and of a session's reads: one read (then its status set and shown).
  ReadOutcome RunRead(ReadScope scope);
  // The reads of one pass (scope AllPages: every page, PSR restored). Failures throw.
  void ReadLocked(ReadScope scope);
  // Reception within a pass, after the main registers were read: takes every
  // frame waiting, in arrival order, clears ORIF when it is set, and leaves
  // the cell on page `psr`. True when that page is a buffer page it has just read.
  bool TakeFrames(std::uint8_t isr, std::uint8_t psr);
  void Report(std::vector<TReceivedFrame> frames, std::uint32_t overruns, bool overrunNow);

  // Status reports are coalesced: while one is pending the next pass only
  // updates the text it will show, so a fast link cannot flood the GUI
  // thread, and this thread never waits for the GUI thread.
  void ShowStatus();
  // In the GUI thread, on a wakeup: status, job outcomes, frames, then the end.
  void OnWakeup();
  void DeliverStatus();
  void DeliverOutcomes();
  void DeliverReception();
  void SetStatus(const std::string& text);

  // Writes for a job (through a session): PSR first for a paged register.
  // Does nothing after the stop request, for a page above 4 or an address
  // outside 0x5A-0x6F.
  void WriteRegisterLocked(std::uint8_t address, int page, std::uint8_t value);
  void Read(std::uint8_t address, std::uint8_t count, std::uint8_t* into);
  void Write(std::uint8_t address, std::uint8_t value);
  // Reads what the program uses of `page` (the page PSR selects now) into its image;
  // any other page number (5-255) reads nothing.
  void ReadSelectedPage(std::uint8_t page);
  void StoreMain(const std::uint8_t* bytes);
  void StorePage(int page, int index, const std::uint8_t* bytes, int count);

  TTavarnelObject* memory_;  // not owned; used by this thread only (and shut down by Terminate)

  // ---- shared between the GUI thread and the access thread
  // Guards jobs_, finished_ and the pause; `workChanged_` is signalled when
  // a job is queued, the gate moves or the stop is requested.
  mutable std::mutex queueLock_;
  std::condition_variable workChanged_;
  std::deque<QueuedJob> jobs_;
  std::vector<std::pair<std::uint64_t, TRegisterJobOutcome>> finished_;
  std::chrono::steady_clock::time_point pauseEnd_{};  // no pass before it (after a failed one)
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> polling_{false};
  std::atomic<bool> receiving_{false};  // some receiver is on
  std::atomic<std::uint64_t> passes_{0};

  // The images, written by this thread and copied by any. Guarded by
  // imageLock_, held only for the copy, so that a copy never waits for the board.
  mutable std::mutex imageLock_;
  TRegisterImages images_;

  // Guards statusText_ and unshownError_; statusPending_ says a report is on its way.
  mutable std::mutex statusLock_;
  std::string statusText_;
  // The last error not yet shown: a coalesced report shows it before the
  // latest text, so a failure followed at once by a good pass is still seen.
  std::string unshownError_;
  std::atomic<bool> statusPending_{false};

  // Guards reception_, the frames and overruns not yet delivered.
  std::mutex receptionLock_;
  TReception reception_;
  std::atomic<bool> receptionPending_{false};
  std::atomic<bool> finishedPending_{false};

  // ---- the access thread's own
  TReceptionOrder order_;
  bool receivingSeen_ = false;    // reception was on at the last pass
  bool overrunReported_ = false;  // the last report said ORIF was set
  // The page the cell showed before reception selected a buffer page, while
  // a failed pass left the cell there; a job's own write of PSR forgets it.
  std::optional<std::uint8_t> psrToRestore_;
  bool lastRanJob_ = false;  // a pass comes before the next job

  // ---- the GUI thread's own
  std::uint64_t nextJobId_ = 1;
  std::map<std::uint64_t, Waiting> waiting_;
  int nextReceiver_ = 1;
  std::map<int, Receiver> receivers_;
  StatusHandler statusHandler_;  // set by the owner before Resume
  TMainThreadWakeup* wakeup_;    // child, lives in the GUI thread
  // Created by Resume, joined by Wait or the destructor; both in the GUI thread.
  std::thread worker_;
};
