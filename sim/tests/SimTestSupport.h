// What the tests of the simulator on a real pty share: options for a
// simulator that answers at once, a file name of this process's own under
// /tmp, and reading back the text of a file the simulator wrote.
#pragma once

#include "boardsim/BoardSimulator.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

inline boardsim::BoardSimulator::Options instant() {
  boardsim::BoardSimulator::Options o;
  o.instant = true;
  o.resyncGap = std::chrono::milliseconds(20);
  return o;
}

inline std::string temporaryPath(const std::string& stem) {
  return "/tmp/boardsim-test-" + std::to_string(getpid()) + "-" + stem;
}

inline std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
