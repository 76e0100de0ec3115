// TCANRegAccessThread: the program's only way to the CAN registers. Its
// thread reads the registers over and over into the main image and five page
// images; windows copy those images, and write registers or read them afresh
// in a register session (RegisterSession.h), which holds the register lock.
#pragma once

#include <QObject>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "CanRegisterMap.h"
#include "MainThreadWakeup.h"
#include "RegisterLock.h"

class TTavarnelObject;

// The thread is a std::thread rather than a QThread: QThread's own
// start/finish handshake uses Qt's internal locks, which ThreadSanitizer
// cannot see in Debian's Qt, and nothing here needs a Qt event loop.
class TCANRegAccessThread : public QObject {
  Q_OBJECT

 public:
  using MainImage = std::array<std::uint8_t, CanReg::MainCount>;
  using PageImage = std::array<std::uint8_t, CanReg::PageSize>;
  // Shows a pass's status text; runs in the main thread.
  using StatusHandler = std::function<void(const std::string& status)>;

  // Created suspended: the thread runs once Resume is called. Must be created
  // in the main thread: its status reports and `terminated` are delivered there.
  explicit TCANRegAccessThread(TTavarnelObject* memory, QObject* parent = nullptr);
  // Requests the stop and joins the thread (the current pass finishes first).
  ~TCANRegAccessThread() override;

  // Starts the thread (once).
  void Resume();
  // Joins the thread after the stop request; returns at once if it never ran.
  void Wait();
  // Pause after a failed pass before the next one.
  static constexpr std::chrono::milliseconds FailedPassPause{100};

  // The stop request: the current pass finishes, no new access starts, and
  // every wait for the register lock ends (RegisterLock::Close).
  void Terminate();
  bool Terminated() const { return stopRequested_; }

  // Take and release the register lock. Lock is false, without the lock,
  // when the stop request ended the wait for it.
  bool Lock() { return lock_.Lock(); }
  void Unlock() { lock_.Unlock(); }
  RegisterLock& registerLock() { return lock_; }

  MainImage GetMainRegisters() const;
  PageImage GetPage(int page) const;

  // Writes one register (PSR first for a paged one); nothing is read back.
  // The caller holds the lock; errors of the write reach the caller. Does
  // nothing after the stop request, for a page above 4 or an address outside 0x5A-0x6F.
  void WriteRegisterLocked(std::uint8_t address, int page, std::uint8_t value);
  // Takes the lock, writes, releases, then runs a polling pass.
  void WriteRegister(std::uint8_t address, int page, std::uint8_t value);
  // One polling pass: the main registers and the page PSR shows. Never
  // throws: a failure becomes the status text (TRegisterSession::ReadCycle
  // throws it instead).
  void ReadCycle();
  // All pages, PSR restored afterwards. Never throws. With takeLock false the caller holds the lock.
  void ReadAll(bool takeLock);

  // Polling passes begun so far (any thread), for diagnosis.
  std::uint64_t PassCount() const { return passes_; }

  // The text of the last pass: empty after a good one, else its error.
  std::string StatusText() const;
  void SetStatusHandler(StatusHandler handler) { statusHandler_ = std::move(handler); }

 signals:
  // The on-terminate notification: emitted in the main thread once the
  // thread's body has returned (after its last status report).
  void terminated();

 private:
  friend class TRegisterSession;

  enum class ReadScope { SelectedPage, AllPages };
  // What a read did: nothing (the stop was requested), or a read whose
  // status is set and shown, with its error message when it failed.
  struct ReadOutcome {
    bool ran = false;
    std::string error;
  };
  // The body of ReadCycle and ReadAll: one read under the lock (taken here
  // when takeLock), then its status set and shown.
  ReadOutcome RunRead(ReadScope scope, bool takeLock);
  // The reads of one pass (scope AllPages: every page, PSR restored); the
  // caller holds the lock. Failures throw.
  void ReadLocked(ReadScope scope);

  void Run();  // the thread's body
  // Runs the status handler in the main thread: at once on the main thread,
  // else through the main-thread wakeup. Reports from this thread are
  // coalesced: while one is pending the next pass only updates the text it
  // will show, so a fast link cannot flood the main thread, and the polling
  // thread never waits for the main thread (which may itself be waiting for
  // the register lock or for this thread to end).
  void ShowStatus();
  void DeliverStatus();
  // In the main thread, on a wakeup: the pending status, then the termination.
  void OnWakeup();
  void SetStatus(const std::string& text);
  void Read(std::uint8_t address, std::uint8_t count, std::uint8_t* into);
  // Reads what the program uses of `page` (the page PSR selects now) into its image;
  // any other page number (5-255) reads nothing.
  void ReadSelectedPage(std::uint8_t page);
  void Write(std::uint8_t address, std::uint8_t value);
  void StoreMain(const std::uint8_t* bytes);
  void StorePage(int page, int index, const std::uint8_t* bytes, int count);

  TTavarnelObject* memory_;  // not owned
  // The register lock: every access to the target, from any thread, happens
  // while it is held, so the memory access object is never used by two
  // threads at once, and the images are written only under it. Its holders:
  // - the polling thread, for one pass (taken behind waiting windows);
  // - the main thread while the link is not connected (TSerialLink), so that
  //   the polling thread waits instead of failing on a closed port; the
  //   close releases it before it waits for this thread to end;
  // - a register session (windows, the main window's handlers), for the
  //   accesses that belong together.
  // It is never held while waiting for the main thread (ShowStatus runs
  // after the release on the polling thread), and Terminate() ends every wait
  // for it, so the close always completes.
  RegisterLock lock_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<std::uint64_t> passes_{0};
  // The pause after a failed pass: the thread waits on pauseEnd_, which
  // Terminate signals (setting the stop request under pauseLock_).
  std::mutex pauseLock_;
  std::condition_variable pauseEnd_;

  // The images, written by a pass (which holds the register lock) and copied
  // by any thread. Guarded by imageLock_, held only for the copy, so that a
  // window copying the images never waits for a pass in progress.
  mutable std::mutex imageLock_;
  MainImage main_{};
  std::array<PageImage, CanReg::PageCount> pages_{};

  // Guards statusText_ and unshownError_; statusPending_ says a report is on its way.
  mutable std::mutex statusLock_;
  std::string statusText_;
  // The last error not yet shown: a coalesced report shows it before the
  // latest text, so a failure followed at once by a good pass is still seen.
  std::string unshownError_;
  std::atomic<bool> statusPending_{false};
  std::atomic<bool> finishedPending_{false};
  StatusHandler statusHandler_;  // set by the owner before Resume
  MainThreadWakeup* wakeup_;     // child, lives in the main thread
  // Created by Resume, joined by Wait or the destructor; both on the main thread.
  std::thread worker_;
};
