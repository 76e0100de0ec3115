// vorelan-boardsim run as a person runs it: the board behind a pseudo-terminal
// with a link at a fixed path (the one the port map gives COM1), commands on
// its standard input (frame, vanish, reappear, regs, ...), and what it prints
// (frames received and sent on the bus, answers to commands) read line by
// line.
//
// Threads: the test's thread calls every member. A reader thread of its own
// reads the simulator's output until it ends; lines_ and ended_ are guarded
// by mutex_, and changed_ wakes a waiting test when a line arrives or the
// output ends. The destructor asks the simulator to quit, kills it if it
// does not end in time, and joins the reader (which then sees the end of the
// output), so it always completes.
#pragma once

#include "ChildProcess.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

struct BoardRegisters {
  std::array<uint8_t, 6> main{};                   // ISR ICR CSR BRPR BTR PSR
  std::array<std::array<uint8_t, 16>, 5> pages{};  // 0x60-0x6F of pages 0-4
};

class BoardProcess {
 public:
  BoardProcess(const std::string& program, const std::vector<std::string>& arguments, const Environment& environment);
  ~BoardProcess();
  BoardProcess(const BoardProcess&) = delete;
  BoardProcess& operator=(const BoardProcess&) = delete;

  bool running() const;
  void command(const std::string& line);

  std::size_t lineCount() const;
  std::vector<std::string> lines() const;
  // The index of the first line from `from` on that `matches`, waiting up to
  // `limit` for it; nothing when none came.
  std::optional<std::size_t> waitForLine(const std::function<bool(const std::string&)>& matches, std::size_t from,
                                         std::chrono::milliseconds limit);
  // The registers as the `regs` command prints them now.
  std::optional<BoardRegisters> registers(std::chrono::milliseconds limit = std::chrono::seconds(30));
  // "the board is back on /dev/pts/N" once reappear has answered.
  std::optional<std::string> reappear(std::chrono::milliseconds limit = std::chrono::seconds(30));

 private:
  void readOutput();

  std::unique_ptr<ChildProcess> process_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool ended_ = false;
  std::thread reader_;
};

}  // namespace e2e
