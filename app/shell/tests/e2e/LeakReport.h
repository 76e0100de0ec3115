// What LeakSanitizer said about the program at its end, read from its output.
//
// The program runs on an X display here, where Qt's own threads (the X event
// reader, the D-Bus connection, the image scaling pool) sometimes leave a
// thread's bookkeeping behind when the process ends while one of them is
// still winding down. Such a leak is allocated inside Qt with no frame of
// ours on its stack; a leak whose stack passes through our sources is ours,
// and fails the test like any other sanitizer report.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct LeakReport {
  bool sanitizerErrors = false;           // AddressSanitizer or UndefinedBehaviorSanitizer reported
  std::vector<std::string> ourLeaks;      // leak blocks with a frame under our source folder
  std::vector<std::string> foreignLeaks;  // leak blocks without one
};

// `sourceRoot`: the source tree's folder; a frame naming a file below it is ours.
LeakReport readLeakReport(const std::string& output, const std::string& sourceRoot);

}  // namespace e2e
