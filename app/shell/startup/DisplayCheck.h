#pragma once

#include <optional>
#include <string>
#include <vector>

// Whether the window system Qt is about to open can be reached, asked before
// the QApplication exists. Without it, a start over SSH with no display
// forwarded ends in Qt's "could not connect to display" and an abort (status
// 134); with it, the program says in one line how to go on and ends with
// NoDisplayStatus.
//
// Qt takes the platform from -platform, else from QT_QPA_PLATFORM (a list
// separated by ';', tried in order; options after a ':'), else from the
// session: X11 (xcb) by default, Wayland when the session is one. xcb needs
// DISPLAY (or xcb's own -display option), wayland needs WAYLAND_DISPLAY; the
// others (offscreen, vnc, minimal, eglfs, linuxfb, ...) need no display at
// all, and a platform this check does not know is left to Qt to judge.
//
// Threads: main thread, before any other thread starts.
namespace DisplayCheck {

// EX_UNAVAILABLE of <sysexits.h>: a service the program needs is missing.
// Documented in --help and the manual page.
constexpr int NoDisplayStatus = 69;

// What the check reads from the environment; an unset variable is empty.
struct Environment {
  std::string display;         // DISPLAY
  std::string waylandDisplay;  // WAYLAND_DISPLAY
  std::string qpaPlatform;     // QT_QPA_PLATFORM

  static Environment current();
};

// The one line (without a newline) to print when none of the platforms Qt
// would try can be opened; nothing when one can. args: the command line
// without the program name.
std::optional<std::string> noDisplayMessage(const std::vector<std::string>& args, const Environment& environment);

}  // namespace DisplayCheck
