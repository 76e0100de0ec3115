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
  // The files to open after start-up: every argument that is no option, and
  // every one after "--". Qt's options take values ("-platform offscreen"),
  // so the program takes its files from the arguments QApplication leaves.
  std::vector<std::string> files;
  std::string error;  // a bad option: the message to print before the usage

  static TCommandLine parse(const std::vector<std::string>& args);  // args without the program name
  static std::string usage();
  static std::string versionText();
};
