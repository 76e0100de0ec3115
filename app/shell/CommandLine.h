#pragma once

#include <string>
#include <vector>

// The vorelan program's command line. It is read before the QApplication
// exists, so that --help and --version answer without a display. Options Qt
// knows (-platform, -style, ...) pass through to the QApplication.
struct TCommandLine {
  bool help = false;
  bool version = false;
  bool simulate = false;
  std::string error;  // a bad option: the message to print before the usage

  static TCommandLine parse(const std::vector<std::string>& args);  // args without the program name
  static std::string usage();
  static std::string versionText();
};
