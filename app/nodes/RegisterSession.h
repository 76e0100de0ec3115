// TRegisterSession: the register accesses of one job, as the register access
// thread runs them. A job's steps (TRegisterJob, or a task of the node layer
// given to TCANRegAccessThread::SubmitTask) get a session; nothing else can
// make one, so no other thread reaches the board.
//
//   registers.SubmitTask([](TRegisterSession& session) {
//     session.WriteAll({{CanReg::CSR, 0, 0x00}, {CanReg::BRPR, 0, brpr}});
//     session.ReadAll();
//   }, context, [](const TRegisterJobOutcome& outcome) { ... });
//
// Every failure is an EAppError:
// - a write fails with the memory access's own error;
// - a read (ReadCycle, ReadAll) fails with EReadFailed, whose message the
//   register access thread has already made the pass's status;
// - once the program closes, EShutdown, and nothing more reaches the target.
//
// Threads: the register access thread only, for the duration of one job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "RegisterJob.h"

class TCANRegAccessThread;

class TRegisterSession {
 public:
  TRegisterSession(const TRegisterSession&) = delete;
  TRegisterSession& operator=(const TRegisterSession&) = delete;

  // Copies of the images as the last pass or full read left them.
  TRegisterImages::MainImage MainRegisters() const;
  TRegisterImages::PageImage Page(int page) const;

  // Writes one register, PSR first for a paged one; nothing is read back. An
  // address outside 0x5A-0x6F or a page above 4 writes nothing, silently.
  void Write(std::uint8_t address, int page, std::uint8_t value);
  // Writes the registers in order; the first failure ends the sequence.
  void WriteAll(std::span<const TRegisterWrite> writes);
  void WriteAll(std::initializer_list<TRegisterWrite> writes) { WriteAll(std::span(writes.begin(), writes.size())); }

  // One polling pass: the main registers and the page PSR shows, and the
  // frames received while reception is on.
  void ReadCycle();
  // Every page, PSR restored afterwards (10 reads, 6 one-byte writes).
  void ReadAll();

  // Writes the board acknowledged in this session.
  std::size_t WritesDone() const { return writesDone_; }

 private:
  friend class TCANRegAccessThread;
  explicit TRegisterSession(TCANRegAccessThread& registers) : registers_(registers) {}

  TCANRegAccessThread& registers_;
  std::size_t writesDone_ = 0;
};
