#pragma once

#include "boardsim/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

// A client on the slave side of the simulator's pty, opened the way the
// program's serial port opens it: non-blocking, no controlling terminal, raw.
class PtyClient {
 public:
  using Bytes = std::vector<uint8_t>;
  explicit PtyClient(const std::string& path, unsigned speed = 9600);
  ~PtyClient();
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void send(const Bytes& bytes);
  // Reads until `count` bytes have come or the timeout has passed.
  Bytes receive(std::size_t count, boardsim::Clock::duration timeout);
  // Whatever is waiting now.
  Bytes drain();
  Bytes exchange(const Bytes& request, std::size_t answerLength);

 private:
  int fd_ = -1;
};
