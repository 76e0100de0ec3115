// The per-user port map: which device a port number opens when no
// VORELAN_COM<n> environment variable names one. The serial node reads this
// file and the program's port dialog writes it, so its place and its format
// are fixed here, and only here: both sides read and edit it through the
// functions below.
//
// Place:  $XDG_CONFIG_HOME/vorelan/ports.conf, or $HOME/.config/vorelan/ports.conf
//         when XDG_CONFIG_HOME is unset or empty (no map when neither is set).
// Format: UTF-8 text, one mapping per line, "COM<n>=<device path>":
//             # written by Vorelan
//             COM1=/dev/ttyUSB0
//             COM2=/dev/serial/by-id/usb-0403_6001-if00-port0
//         - Lines end with LF or CR LF; the last line may have no line end.
//         - Blanks (space, tab, CR) around the name and around the path are
//           ignored; blanks inside the path belong to it.
//         - The name is "COM" in any letter case followed by a decimal number
//           of 1 or more (leading zeros allowed); nothing between "COM" and
//           the number. The path is everything after the first '=', so it may
//           hold '=' and '#'.
//         - Empty lines and lines whose first non-blank character is '#' are
//           comments; lines of any other form (no '=', another name) are
//           ignored and kept by the editor.
//         - A line with an empty path maps nothing.
//         - When a port has several lines, the first with a path wins.
// Lookup order for port n: VORELAN_COM<n>, then the map, then /dev/ttyS<n-1>.
//
// Standard library only (the portmapfile static library), so that the
// program can use it beside its own settings code without linking a node.
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace portmap {

inline constexpr const char* kFolder = "vorelan";
inline constexpr const char* kFileName = "ports.conf";
// Prefix of the environment variables that override the map, e.g. VORELAN_COM1.
inline constexpr const char* kEnvironmentPrefix = "VORELAN_COM";
// The first line of a map the editor starts from nothing.
inline constexpr const char* kNewFileComment = "# written by Vorelan: COM<n>=<device>";
// A larger map is not read: a few lines are all it holds.
inline constexpr std::size_t kMaxFileSize = 64 * 1024;

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

// The device a port opens when neither the environment nor the map names one.
inline std::string DefaultDevice(int portNumber) {
  return "/dev/ttyS" + std::to_string(portNumber - 1);
}

// What one line (without its line end) says.
struct Mapping {
  int port = 0;             // 1 and up
  std::string_view device;  // without the blanks around it; empty when the line maps nothing
};

// The mapping a line makes, or nothing for a comment, an empty line or a line
// of another form.
std::optional<Mapping> ParseLine(std::string_view line);

// One line of the map, without its line end. The device is written without
// the blanks around it. Throws std::invalid_argument for a port below 1 or a
// device holding a line end, which the format cannot carry.
std::string EntryLine(int portNumber, std::string_view devicePath);

// The device the map text gives port n, or "" when it has none.
std::string FindEntry(std::string_view mapText, int portNumber);

// The map text with the given ports set. A port's first line is rewritten in
// place, keeping its line end (dropped when the device is empty or blank), and
// its later lines are dropped; ports without a line get one at the end, in
// the line end the text's first line uses. Every other line stays byte for
// byte; a last line without a line end gets one. An empty text starts with
// kNewFileComment. Throws std::invalid_argument as EntryLine does.
std::string WithEntries(std::string_view mapText, const std::map<int, std::string>& devices);

}  // namespace portmap
