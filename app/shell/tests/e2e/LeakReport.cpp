#include "LeakReport.h"

#include <sstream>

namespace e2e {

LeakReport readLeakReport(const std::string& output, const std::string& sourceRoot) {
  LeakReport report;
  report.sanitizerErrors =
      output.find("ERROR: AddressSanitizer") != std::string::npos || output.find("runtime error:") != std::string::npos;
  std::istringstream lines(output);
  std::string block;
  bool ours = false;
  const auto finish = [&] {
    if (!block.empty()) (ours ? report.ourLeaks : report.foreignLeaks).push_back(block);
    block.clear();
    ours = false;
  };
  // A block: "Direct leak of ..." or "Indirect leak of ...", then its frames
  // ("    #N 0x... in function file:line"), up to the first other line.
  for (std::string line; std::getline(lines, line);) {
    const bool header = line.rfind("Direct leak of", 0) == 0 || line.rfind("Indirect leak of", 0) == 0;
    const bool frame = !block.empty() && line.find_first_not_of(' ') != std::string::npos &&
                       line.compare(line.find_first_not_of(' '), 1, "#") == 0;
    if (header) {
      finish();
      block = line + "\n";
    } else if (frame) {
      block += line + "\n";
      ours = ours || line.find(sourceRoot + "/") != std::string::npos;
    } else {
      finish();
    }
  }
  finish();
  return report;
}

}  // namespace e2e
