// A pseudo-terminal pair standing in for a serial line: the code under test
// opens the slave side by its path, the test drives the master side.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class PseudoTerminal {
 public:
  // Opens a pair with the slave in raw mode (no echo), then closes the slave
  // descriptor so that the code under test is its only user.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  bool Ok() const { return master_ >= 0; }

  // Writes all bytes to the master side.
  bool Write(const Bytes& bytes);
  bool Write(const std::string& text) { return Write(Bytes(text.begin(), text.end())); }
  // Reads from the master side until `count` bytes have come or `limit` passes.
  Bytes Read(std::size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
  // Closing the master hangs the slave side up, like unplugging an adapter.
  void CloseMaster();

 private:
  int master_ = -1;
  std::string slavePath_;
};

// Number of threads of this process.
int ThreadCount();
// The ids of this process's threads.
std::set<pid_t> ThreadIds();
// How many times thread `tid` of this process has gone to sleep so far (its
// voluntary context switches: a wait, a blocked lock); -1 when it is gone.
// A thread that pauses after each attempt at something has made at least
// that many more attempts.
long SleepsOf(pid_t tid);
