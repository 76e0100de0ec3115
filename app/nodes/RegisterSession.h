// TRegisterSession: register accesses that belong together, run under the
// register lock of the register access thread.
//
//   TRegisterSession session(registers);  // takes the lock; refused once the program closes
//   session.WriteAll({{CanReg::CSR, 0, 0x00}, {CanReg::BRPR, 0, brpr}, {CanReg::BTR, 0, btr}});
//   session.ReadAll();
//                                         // the lock is released here, on every path
//
// Every failure is an EAppError:
// - a write fails with the memory access's own error;
// - a read (ReadCycle, ReadAll) fails with EReadFailed, whose message the
//   register access thread has already shown as the pass's status;
// - a session opened or used once the thread has been told to stop fails with
//   EShutdown, and nothing reaches the target.
//
// Threads: the thread that opens a session uses it and closes it (in the
// program, the GUI thread: window handlers and timers, the main window's
// connection). The lock is re-entrant, so a session opened while the same
// thread already holds the lock (the main thread holds it while the link is
// down) nests inside that hold. No polling pass runs while a session is open;
// a session's own ReadCycle and ReadAll report their status at once, in the
// calling thread (TCANRegAccessThread::ShowStatus).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "canregthread.h"

// One register write: the register's address (0x5A-0x6F) and, for a paged
// register (0x60-0x6F), the page it belongs to (0-4; main registers take 0).
struct TRegisterWrite {
  std::uint8_t address = 0;
  int page = 0;
  std::uint8_t value = 0;

  friend bool operator==(const TRegisterWrite&, const TRegisterWrite&) = default;
};

class TRegisterSession {
 public:
  // Takes the register lock, waiting while another thread holds it (a
  // polling pass ends within the protocol node's TimeOut). Throws EShutdown,
  // holding nothing, when the thread has been told to stop.
  explicit TRegisterSession(TCANRegAccessThread& registers);
  ~TRegisterSession();  // releases the lock
  TRegisterSession(const TRegisterSession&) = delete;
  TRegisterSession& operator=(const TRegisterSession&) = delete;

  // Copies of the images as the last pass or full read left them.
  TCANRegAccessThread::MainImage MainRegisters() const;
  TCANRegAccessThread::PageImage Page(int page) const;

  // Writes one register, PSR first for a paged one; nothing is read back. An
  // address outside 0x5A-0x6F or a page above 4 writes nothing, silently.
  void Write(std::uint8_t address, int page, std::uint8_t value);
  // Writes the registers in order; the first failure ends the sequence.
  void WriteAll(std::span<const TRegisterWrite> writes);
  void WriteAll(std::initializer_list<TRegisterWrite> writes) { WriteAll(std::span(writes.begin(), writes.size())); }

  // One polling pass: the main registers and the page PSR shows.
  void ReadCycle();
  // Every page, PSR restored afterwards (10 reads, 6 one-byte writes).
  void ReadAll();

 private:
  void RefuseWhenStopping() const;

  TCANRegAccessThread& registers_;
};
