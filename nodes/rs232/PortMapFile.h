// The per-user port map: which device a port number opens when no
// VORELAN_COM<n> environment variable names one. The serial node reads this
// file and the program's port dialog writes it, so its place and its format
// are fixed here, and only here.
//
// Place:  $XDG_CONFIG_HOME/vorelan/ports.conf, or $HOME/.config/vorelan/ports.conf
//         when XDG_CONFIG_HOME is unset or empty (no map when neither is set).
// Format: UTF-8 text, one mapping per line, "COM<n>=<device path>":
//             # written by Vorelan
//             COM1=/dev/ttyUSB0
//             COM2=/dev/serial/by-id/usb-0403_6001-if00-port0
//         "COM" may be in any letter case; blanks around the name and around
//         the path are ignored; empty lines and lines whose first non-blank
//         character is '#' are comments; lines of any other form are ignored;
//         when a port appears twice, the first line wins.
// Lookup order for port n: VORELAN_COM<n>, then the map, then /dev/ttyS<n-1>.
//
// Header-only and free of other project headers, so that the program can use
// it beside its own settings code.
#pragma once

#include <cstdlib>
#include <string>

namespace portmap {

inline constexpr const char* kFolder = "vorelan";
inline constexpr const char* kFileName = "ports.conf";
// Prefix of the environment variables that override the map, e.g. VORELAN_COM1.
inline constexpr const char* kEnvironmentPrefix = "VORELAN_COM";

// Full path of the port map, or "" when neither XDG_CONFIG_HOME nor HOME is set.
inline std::string FilePath() {
  std::string folder;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    folder = config;
  else if (const char* home = std::getenv("HOME"); home && *home)
    folder = std::string(home) + "/.config";
  else
    return {};
  return folder + "/" + kFolder + "/" + kFileName;
}

// One line of the map, without its line end.
inline std::string EntryLine(int portNumber, const std::string& devicePath) {
  return "COM" + std::to_string(portNumber) + "=" + devicePath;
}

// The device a port opens when neither the environment nor the map names one.
inline std::string DefaultDevice(int portNumber) {
  return "/dev/ttyS" + std::to_string(portNumber - 1);
}

}  // namespace portmap
