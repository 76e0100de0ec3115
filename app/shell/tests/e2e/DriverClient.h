// The test's end of the program's test driver (app/testdriver/TestDriver.h): one
// request of tab-separated fields, one answer line, over the driver's local
// socket.
//
// Threads: one thread uses it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace e2e {

struct DriverAnswer {
  bool received = false;  // false: no answer within the limit, or the connection ended
  bool ok = false;
  std::string text;  // unescaped
};

class DriverClient {
 public:
  DriverClient() = default;
  ~DriverClient();
  DriverClient(const DriverClient&) = delete;
  DriverClient& operator=(const DriverClient&) = delete;

  // Connects to the socket at `path`, waiting up to `limit` for the program
  // to listen on it. False when it did not.
  bool connect(const std::string& path, std::chrono::milliseconds limit);
  void disconnect();
  bool connected() const { return fd_ >= 0; }

  DriverAnswer request(const std::vector<std::string>& fields,
                       std::chrono::milliseconds limit = std::chrono::seconds(60));

 private:
  int fd_ = -1;
  std::string buffer_;  // received bytes after the last complete answer
};

}  // namespace e2e
