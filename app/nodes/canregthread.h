// TCANRegAccessThread: the program's only way to the CAN registers. Its
// thread reads the registers over and over into the main image and five page
// images; windows copy those images, write single registers, or write a
// sequence of registers under the register lock.
#pragma once

#include <QObject>
#include <QThread>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "CanRegisterMap.h"
#include "RegisterLock.h"

class TTavarnelObject;

class TCANRegAccessThread : public QThread {
  Q_OBJECT

 public:
  using MainImage = std::array<std::uint8_t, CanReg::MainCount>;
  using PageImage = std::array<std::uint8_t, CanReg::PageSize>;
  // Shows a pass's status text; runs in the main thread.
  using StatusHandler = std::function<void(const std::string& status)>;

  // Created suspended: the thread runs once Resume is called. Must be created
  // in the main thread (its status reports are delivered to that thread).
  explicit TCANRegAccessThread(TTavarnelObject* memory, QObject* parent = nullptr);
  ~TCANRegAccessThread() override;

  void Resume() { start(); }
  // The stop request: the current pass finishes, no new access starts.
  void Terminate() { stopRequested_ = true; }
  bool Terminated() const { return stopRequested_; }

  void Lock() { lock_.Lock(); }
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
  // One polling pass: the main registers and the page PSR shows. Never throws.
  void ReadCycle();
  // All pages, PSR restored afterwards. Never throws. With takeLock false the caller holds the lock.
  void ReadAll(bool takeLock);

  // The text of the last pass: empty after a good one, else its error.
  std::string StatusText() const;
  void SetStatusHandler(StatusHandler handler) { statusHandler_ = std::move(handler); }

 protected:
  void run() override;

 private:
  // Runs the status handler in the main thread: at once on the main thread,
  // else as a queued call. Queued reports are coalesced: while one is pending
  // the next pass only updates the text it will show, so a fast link cannot
  // flood the main thread, and the polling thread never waits for the main
  // thread (which may itself be waiting for the register lock or for this
  // thread to end).
  void ShowStatus();
  void DeliverStatus();
  void SetStatus(const std::string& text);
  void Read(std::uint8_t address, std::uint8_t count, std::uint8_t* into);
  void Write(std::uint8_t address, std::uint8_t value);
  void StoreMain(const std::uint8_t* bytes);
  void StorePage(int page, int index, const std::uint8_t* bytes, int count);

  TTavarnelObject* memory_;  // not owned
  RegisterLock lock_;
  std::atomic<bool> stopRequested_{false};

  // The images, written by a pass (which holds the register lock) and copied
  // by any thread. Guarded by imageLock_, held only for the copy, so that a
  // window copying the images never waits for a pass in progress.
  mutable std::mutex imageLock_;
  MainImage main_{};
  std::array<PageImage, CanReg::PageCount> pages_{};

  // Guards statusText_; statusPending_ says a queued report is on its way.
  mutable std::mutex statusLock_;
  std::string statusText_;
  std::atomic<bool> statusPending_{false};
  StatusHandler statusHandler_;  // set by the owner before Resume
};
