// Register jobs: what the windows, the register file and the link hand the
// register access thread, and what they get back. The thread is the only one
// that talks to the board; a job's writes and its read run there as one
// uninterrupted sequence between two polling passes, and the outcome comes
// back to the GUI thread by a queued call (TCANRegAccessThread::Submit).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CanRegisterMap.h"

// One register write: the register's address (0x5A-0x6F) and, for a paged
// register (0x60-0x6F), the page it belongs to (0-4; main registers take 0).
struct TRegisterWrite {
  std::uint8_t address = 0;
  int page = 0;
  std::uint8_t value = 0;

  friend bool operator==(const TRegisterWrite&, const TRegisterWrite&) = default;
};

// The register images the program keeps: the main image (ISR, ICR, CSR, BRPR,
// BTR, PSR) and the five page images, byte i of a page being the register at
// 0x60 + i of that page.
struct TRegisterImages {
  using MainImage = std::array<std::uint8_t, CanReg::MainCount>;
  using PageImage = std::array<std::uint8_t, CanReg::PageSize>;

  MainImage main{};
  std::array<PageImage, CanReg::PageCount> pages{};

  friend bool operator==(const TRegisterImages&, const TRegisterImages&) = default;
};

// A write sequence and the read that follows it. The writes go out in order
// (PSR before each paged register); the first failure ends the job. The read
// runs only when every write went through.
struct TRegisterJob {
  enum class Read {
    None,   // nothing read back
    Cycle,  // one polling pass: the main registers and the page PSR shows
    All,    // every page, PSR restored afterwards (10 reads, 6 one-byte writes)
  };
  std::vector<TRegisterWrite> writes;
  Read read = Read::None;
};

struct TRegisterJobOutcome {
  enum class Result {
    Done,
    WriteFailed,  // `error` is the write's message: for the error display
    ReadFailed,   // `error` is the read's message, already shown as the pass's status
    Cancelled,    // the program closed first; `error` says so when writes were cut short
  };
  Result result = Result::Cancelled;
  std::string error;
  std::size_t writesDone = 0;  // writes the board acknowledged
  // The images as the job left them, copied on the access thread at its end.
  TRegisterImages images;

  bool ok() const { return result == Result::Done; }
  // Every write went through (the read, if any, may still have failed).
  bool written() const { return result == Result::Done || result == Result::ReadFailed; }
};

// A frame the cell received, taken off it by a polling pass: the buffer's page
// as read (IDHR, IDLR, Data0-Data7 at bytes 0-9, BCSR at byte 15) and when it
// was read.
struct TReceivedFrame {
  int buffer = 0;  // 1 to 3
  TRegisterImages::PageImage page{};
  std::chrono::system_clock::time_point read{};
};

// What the passes took off the cell since the last report, in the order the
// cell received the frames.
struct TReception {
  std::vector<TReceivedFrame> frames;
  // Passes that found ORIF set: each one cleared it, so each is one report of
  // frames lost because the three receive buffers were full.
  std::uint32_t overruns = 0;
  // ORIF was set in the last pass reported: the cell is losing frames now.
  bool overrunNow = false;
};
