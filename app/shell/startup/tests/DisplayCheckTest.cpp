// The check before the QApplication: which platforms Qt would try, and
// whether one of them can be opened with the displays the environment names.
#include "DisplayCheck.h"

#include <gtest/gtest.h>

namespace {

using DisplayCheck::Environment;
using DisplayCheck::noDisplayMessage;
using Args = std::vector<std::string>;

const Environment NoDisplay{};

Environment withX11() {
  Environment e;
  e.display = ":0";
  return e;
}

Environment withWayland() {
  Environment e;
  e.waylandDisplay = "wayland-0";
  return e;
}

Environment withPlatform(const std::string& platform, Environment e = {}) {
  e.qpaPlatform = platform;
  return e;
}

TEST(DisplayCheck, QtsOwnChoiceNeedsAnX11OrWaylandDisplay) {
  const auto message = noDisplayMessage({}, NoDisplay);
  ASSERT_TRUE(message);
  EXPECT_EQ(message->find('\n'), std::string::npos) << "one line";
  EXPECT_NE(message->find("DISPLAY and WAYLAND_DISPLAY are not set"), std::string::npos) << *message;
  EXPECT_NE(message->find("ssh -X"), std::string::npos) << *message;
  // A display only this machine reaches, behind a password; never Qt's VNC server open to the network.
  for (const char* step : {"Xvfb :7 -nolisten tcp", "x11vnc -display :7 -localhost -rfbauth", "ssh -L 5900"})
    EXPECT_NE(message->find(step), std::string::npos) << *message;
  EXPECT_EQ(message->find("vorelan --simulate -platform vnc"), std::string::npos) << *message;
  // Our own options are no platform.
  EXPECT_TRUE(noDisplayMessage({"--simulate"}, NoDisplay));

  EXPECT_FALSE(noDisplayMessage({}, withX11()));
  EXPECT_FALSE(noDisplayMessage({}, withWayland()));
  // xcb's own option names the X display.
  EXPECT_FALSE(noDisplayMessage({"-display", ":3"}, NoDisplay));
  EXPECT_FALSE(noDisplayMessage({"--simulate", "--display", "host:0"}, NoDisplay));
  // "-platform" with no value after it is ignored by Qt, and so here.
  EXPECT_TRUE(noDisplayMessage({"-platform"}, NoDisplay));
}

TEST(DisplayCheck, PlatformsWithoutADisplayAlwaysPass) {
  for (const char* platform : {"offscreen", "vnc", "vnc:size=1024x768", "minimal", "eglfs", "linuxfb", "unknown"}) {
    SCOPED_TRACE(platform);
    EXPECT_FALSE(noDisplayMessage({"-platform", platform}, NoDisplay));
    EXPECT_FALSE(noDisplayMessage({"--platform", platform}, NoDisplay));
    EXPECT_FALSE(noDisplayMessage({}, withPlatform(platform)));
  }
}

TEST(DisplayCheck, AnExplicitX11OrWaylandPlatformNeedsItsDisplay) {
  const auto x = noDisplayMessage({"--simulate", "-platform", "xcb"}, NoDisplay);
  ASSERT_TRUE(x);
  EXPECT_EQ(x->rfind("no display to open for -platform xcb: DISPLAY is not set. ", 0), 0u) << *x;
  EXPECT_NE(x->find("x11vnc"), std::string::npos) << *x;
  EXPECT_FALSE(noDisplayMessage({"-platform", "xcb"}, withX11()));
  EXPECT_TRUE(noDisplayMessage({"-platform", "xcb"}, withWayland()));  // Wayland's display is not X11's

  const auto w = noDisplayMessage({}, withPlatform("wayland-egl", withX11()));
  ASSERT_TRUE(w);
  EXPECT_EQ(w->rfind("no display to open for QT_QPA_PLATFORM=wayland-egl: WAYLAND_DISPLAY is not set. ", 0), 0u) << *w;
  EXPECT_FALSE(noDisplayMessage({}, withPlatform("wayland", withWayland())));
}

TEST(DisplayCheck, PlatformOptionOverridesTheEnvironmentAndTheLastOneCounts) {
  EXPECT_TRUE(noDisplayMessage({"-platform", "xcb"}, withPlatform("offscreen")));
  EXPECT_FALSE(noDisplayMessage({"-platform", "vnc"}, withPlatform("xcb")));
  EXPECT_FALSE(noDisplayMessage({"-platform", "xcb", "-platform", "offscreen"}, NoDisplay));
  EXPECT_TRUE(noDisplayMessage({"-platform", "offscreen", "-platform", "xcb"}, NoDisplay));
}

TEST(DisplayCheck, AListPassesWhenAnyOfItsPlatformsOpens) {
  const auto both = noDisplayMessage({}, withPlatform("wayland;xcb"));
  ASSERT_TRUE(both);
  EXPECT_NE(both->find("WAYLAND_DISPLAY and DISPLAY are not set"), std::string::npos) << *both;
  EXPECT_NE(noDisplayMessage({}, withPlatform("xcb;xcb:foo")).value_or("").find("DISPLAY is not set"),
            std::string::npos);
  EXPECT_FALSE(noDisplayMessage({}, withPlatform("wayland;xcb", withX11())));
  EXPECT_FALSE(noDisplayMessage({}, withPlatform("xcb;wayland", withWayland())));
  EXPECT_FALSE(noDisplayMessage({}, withPlatform("xcb;offscreen")));
  // Empty items are no platform.
  EXPECT_TRUE(noDisplayMessage({}, withPlatform(";;")));
}

}  // namespace
