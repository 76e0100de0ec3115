// Helpers of the main window's tests: a simulated board behind a link that
// COM1 names, the program's settings wiped or preset (StoredSettings.h), and
// waiting on a condition while the GUI thread's events are processed.
#pragma once

#include "MainFrm.h"
#include "SerialLink.h"
#include "StoredSettings.h"
#include "ToolWindows.h"
#include "WaitUntil.h"
#include "boardsim/BoardSimulator.h"

#include <gtest/gtest.h>
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

// A main window as the user starts and closes it, on wiped settings with no
// COM port named by the environment.
class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    wipeSettings();
    for (const char* name : {"VORELAN_COM1", "VORELAN_COM2", "VORELAN_COM3"}) unsetenv(name);
  }
  void TearDown() override {
    if (main_) closeMain();
  }

  TMainFrm& start(TMainFrm::Options options = withoutToolWindows()) {
    main_ = std::make_unique<TMainFrm>(std::move(options));
    main_->createForm();
    main_->createToolWindows();
    main_->show();
    return *main_;
  }

  // Closes the main window as the user does. The close completes, and the
  // register access thread ends within it rather than being left behind at
  // the close's limit. (How long closing takes is measured by bench_shell_close.)
  void closeMain() {
    const bool hadThread = main_->RegThread() != nullptr;
    main_->close();
    EXPECT_TRUE(main_->closeCompleted());
    EXPECT_FALSE(main_->link()->threadRunning());
    if (hadThread) {
      EXPECT_TRUE(main_->link()->terminated()) << "the register access thread was left behind";
    }
    main_.reset();
  }

  std::unique_ptr<TMainFrm> main_;
};

}  // namespace shelltest
