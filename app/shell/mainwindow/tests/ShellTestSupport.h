// Helpers of the main window's tests: a simulated board behind a link that
// COM1 names, the program's settings wiped or preset (StoredSettings.h), and
// waiting on a condition while the GUI thread's events are processed.
#pragma once

#include "MainFrm.h"
#include "StoredSettings.h"
#include "ToolWindows.h"
#include "WaitUntil.h"
#include "boardsim/BoardSimulator.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace shelltest {

// The program's table of tool windows with these factories only: stand-ins
// for some windows, none for the others, whose entries stay greyed. A name
// the table does not hold is never created.
inline ToolWindowTable toolWindowsBuiltBy(const std::map<QString, ToolWindowFactory>& factories) {
  ToolWindowTable table = ToolWindows::Table();
  for (TToolWindowEntry& entry : table) {
    const auto it = factories.find(entry.componentName);
    entry.factory = it == factories.end() ? ToolWindowFactory() : it->second;
  }
  return table;
}

// The main window's options without any tool window.
inline TMainFrm::Options withoutToolWindows() {
  TMainFrm::Options options;
  options.toolWindows = toolWindowsBuiltBy({});
  return options;
}

// The board, reached through a link that VORELAN_COM<port> names.
class Board {
 public:
  explicit Board(bool instant = true, int port = 1) {
    boardsim::BoardSimulator::Options options;
    options.instant = instant;
    options.linkPath = folder_.filePath(QStringLiteral("board")).toStdString();
    sim = std::make_unique<boardsim::BoardSimulator>(options);
    sim->start();
    variable_ = "VORELAN_COM" + std::to_string(port);
    setenv(variable_.c_str(), options.linkPath.c_str(), 1);
  }
  ~Board() {
    sim->stop();
    unsetenv(variable_.c_str());
  }

  std::size_t requests() { return sim->transcript().requests().size(); }

  std::unique_ptr<boardsim::BoardSimulator> sim;

 private:
  QTemporaryDir folder_;
  std::string variable_;
};

}  // namespace shelltest
