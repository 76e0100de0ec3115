// An X server of the test's own (Xvfb) on which the program runs as on a
// desktop: Xvfb picks a free display itself (-displayfd), so tests running
// side by side never race for a number, and it admits only clients that show
// a cookie kept in a file of the test's private folder (mode 0600), so no
// other user of the machine can watch or type into the program.
//
// Threads: one thread uses it.
#pragma once

#include "ChildProcess.h"

#include <chrono>
#include <memory>
#include <string>

namespace e2e {

class XServer {
 public:
  // Starts Xvfb with a screen of width x height, its cookie in `folder`.
  // Throws std::runtime_error when it does not come up within `limit`.
  XServer(const std::string& folder, int width, int height, std::chrono::seconds limit);
  ~XServer();  // ends the server

  std::string display() const { return display_; }  // ":N"
  std::string authorityFile() const { return authority_; }

 private:
  std::string authority_;
  std::string display_;
  std::unique_ptr<ChildProcess> server_;
};

}  // namespace e2e
