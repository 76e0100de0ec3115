// What the fuzz targets that drive widgets share: one application object on
// the offscreen platform.
#pragma once

#include <QApplication>

namespace fuzz {

// Made once and never destroyed: Qt's own globals may be gone by the time
// static destructors run at exit.
inline void StartOffscreenApplication() {
  [[maybe_unused]] static const QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
}

}  // namespace fuzz
