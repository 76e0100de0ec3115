#pragma once

#include <optional>
#include <string>
#include <vector>

// The command line of vorelan-slcan.
struct TSlcanCommandLine {
  bool help = false;
  bool version = false;
  // The board's port: "1" to "3" (COM1-COM3, through the port map as in
  // vorelan), or a device path, which the program gives COM1 for its run.
  std::string port = "1";
  std::string devicePath;  // set when --port named a path
  int speed = 19200;
  int timeOutMs = 1000;
  std::string link;  // where the symbolic link to the pty goes; none when empty
  int clockMHz = 8;
  int txBuffer = 1;
  std::string error;  // a bad option: the message to print before the usage

  static TSlcanCommandLine parse(const std::vector<std::string>& args);  // without the program name
  static std::string usage();
  static std::string versionText();
};
