#include "DisplayCheck.h"

#include <algorithm>
#include <cstdlib>

namespace DisplayCheck {

namespace {

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The value of Qt's option `name` (given as -name or --name, its value the
// next argument); the last one counts, as in Qt.
std::optional<std::string> optionValue(const std::vector<std::string>& args, const std::string& name) {
  std::optional<std::string> value;
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "-" + name || args[i] == "--" + name) value = args[++i];
  return value;
}

// "vnc:size=800x600;xcb" -> {"vnc", "xcb"}
std::vector<std::string> platformNames(const std::string& platformList) {
  std::vector<std::string> names;
  std::size_t begin = 0;
  while (begin <= platformList.size()) {
    std::size_t end = platformList.find(';', begin);
    if (end == std::string::npos) end = platformList.size();
    const std::string item = platformList.substr(begin, end - begin);
    const std::string name = item.substr(0, item.find(':'));
    if (!name.empty()) names.push_back(name);
    begin = end + 1;
  }
  return names;
}

// Only a display that this machine alone reaches, behind a password: Qt's
// own VNC platform listens on every network interface and asks for none.
const char* const HowToGoOn =
    "Log in with ssh -X, or give it a display only this machine reaches: Xvfb :7 -nolisten tcp & "
    "x11vnc -display :7 -localhost -rfbauth ~/.vnc/passwd & DISPLAY=:7 vorelan (Debian packages xvfb and "
    "x11vnc; man vorelan has the steps), and view it through ssh -L 5900:localhost:5900. "
    "Not -platform vnc: Qt's VNC server listens on every network interface and asks for no password.";

}  // namespace

Environment Environment::current() {
  return {variable("DISPLAY"), variable("WAYLAND_DISPLAY"), variable("QT_QPA_PLATFORM")};
}

std::optional<std::string> noDisplayMessage(const std::vector<std::string>& args, const Environment& environment) {
  const bool x11 = !environment.display.empty() || optionValue(args, "display").has_value();
  const bool wayland = !environment.waylandDisplay.empty();

  std::string platformList;
  std::string source;
  if (const auto platform = optionValue(args, "platform")) {
    platformList = *platform;
    source = "-platform " + platformList;
  } else if (!environment.qpaPlatform.empty()) {
    platformList = environment.qpaPlatform;
    source = "QT_QPA_PLATFORM=" + platformList;
  }
  const std::vector<std::string> names = platformNames(platformList);

  if (names.empty()) {
    // Qt's own choice: X11, or Wayland in a Wayland session.
    if (x11 || wayland) return std::nullopt;
    return std::string("no display to open: DISPLAY and WAYLAND_DISPLAY are not set. ") + HowToGoOn;
  }
  // Each platform of the list in turn, as Qt tries them: one that opens is enough.
  std::vector<std::string> missing;
  const auto lacks = [&missing](const std::string& variable) {
    if (std::find(missing.begin(), missing.end(), variable) == missing.end()) missing.push_back(variable);
  };
  for (const std::string& name : names) {
    if (name == "xcb") {
      if (x11) return std::nullopt;
      lacks("DISPLAY");
    } else if (name.rfind("wayland", 0) == 0) {
      if (wayland) return std::nullopt;
      lacks("WAYLAND_DISPLAY");
    } else {
      return std::nullopt;  // needs no display, or is Qt's to judge
    }
  }
  const bool both = missing.size() > 1;
  return "no display to open for " + source + ": " + missing.front() +
         (both ? " and " + missing.back() + " are" : " is") + " not set. " + HowToGoOn;
}

}  // namespace DisplayCheck
