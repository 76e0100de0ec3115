#include "SimulatedBoard.h"

#include "PortMapFile.h"
#include "boardsim/BoardSimulator.h"
#include "boardsim/TrafficGenerator.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

// A folder only this user can enter: the runtime folder when there is one.
QString privateFolder() {
  QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (base.isEmpty() || !QDir(base).exists()) base = QDir::tempPath();
  std::string pattern = (base + QStringLiteral("/vorelan-sim-XXXXXX")).toStdString();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot create a folder for the simulated board in " + base.toStdString());
  return QString::fromStdString(pattern);
}

}  // namespace

TSimulatedBoard::TSimulatedBoard() : folder_(privateFolder()) {
  boardsim::BoardSimulator::Options options;
  options.instant = false;  // the line takes the time a real one would
  options.linkPath = (folder_ + QStringLiteral("/board")).toStdString();
  boardsim::TrafficGenerator::Settings traffic;
  traffic.rate = kFramesPerSecond;
  options.traffic = std::make_shared<boardsim::TrafficGenerator>(traffic);
  simulator_ = std::make_unique<boardsim::BoardSimulator>(options);
  try {
    simulator_->start();
  } catch (...) {
    simulator_.reset();
    QDir(folder_).removeRecursively();
    throw;
  }
  const std::string variable = std::string(portmap::kEnvironmentPrefix) + "1";
  setenv(variable.c_str(), options.linkPath.c_str(), 1);
}

TSimulatedBoard::~TSimulatedBoard() {
  simulator_->stop();
  simulator_.reset();
  QDir(folder_).removeRecursively();
}

QString TSimulatedBoard::linkPath() const {
  return QString::fromStdString(simulator_->linkPath());
}
