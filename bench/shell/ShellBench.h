// What the main window's benchmarks set up before they measure: a home of
// the run for the settings (never the user's), widgets offscreen unless told
// otherwise and the build tree's component registry unless one is named, all
// before the application object exists; and the program's communication
// settings leading COM1 to a simulated board. Main thread only.
#pragma once

#include <QTemporaryDir>

#include <cstdlib>
#include <memory>
#include <string>

#include "CommSettings.h"
#include "boardsim/BoardSimulator.h"

class ShellBenchHome {
 public:
  ShellBenchHome() {
    qputenv("XDG_CONFIG_HOME", folder_.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", folder_.filePath("data").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!std::getenv("VORELAN_COMPONENT_REGISTRY")) setenv("VORELAN_COMPONENT_REGISTRY", BUILD_REGISTRY, 1);
  }
  QString filePath(const QString& name) const { return folder_.filePath(name); }

 private:
  QTemporaryDir folder_;
};

// Stores COM1, "<bitsPerSecond>,n,8,1" and `timeOut` as the program's
// communication settings, and leads COM1 to `device` for this process.
inline void UseBoardOnCom1(const std::string& device, int bitsPerSecond, const QString& timeOut) {
  setenv("VORELAN_COM1", device.c_str(), 1);
  TCommSettings comm;
  comm.port = QStringLiteral("1");
  comm.settings = QString::number(bitsPerSecond) + QStringLiteral(",n,8,1");
  comm.timeOut = timeOut;
  comm.write();
}

// The board simulator started behind a link at `linkPath` (answering at once
// when `instant`, else at the line's pace), with COM1 led to it as above.
inline std::unique_ptr<boardsim::BoardSimulator> StartBoardOnCom1(const std::string& linkPath, bool instant,
                                                                  int bitsPerSecond, const QString& timeOut) {
  boardsim::BoardSimulator::Options options;
  options.instant = instant;
  options.linkPath = linkPath;
  auto board = std::make_unique<boardsim::BoardSimulator>(options);
  board->start();
  UseBoardOnCom1(linkPath, bitsPerSecond, timeOut);
  return board;
}
