// One person's desk for an end-to-end test: an X server of its own, the board
// simulator (vorelan-boardsim) behind a pseudo-terminal whose link the port
// map gives COM1, and the vorelan program, started and closed as often as
// the test wants, driven through its test driver (app/testdriver/TestDriver.h).
// The folders are the test process's private home (testing/PrivateHome.h):
// the program's settings, port map and runtime folder belong to this test
// alone.
//
// The helpers record a test failure (ADD_FAILURE) when the driver refuses a
// command or does not answer; waits poll the driver until a condition holds,
// with a generous bound that only catches a hang.
//
// Threads: the test's thread only (the board has a reader thread of its own).
#pragma once

#include "BoardProcess.h"
#include "ChildProcess.h"
#include "DriverClient.h"
#include "XServer.h"

#include <QJsonObject>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

class E2eSession {
 public:
  E2eSession();  // starts the X server (throws std::runtime_error when it cannot)
  ~E2eSession();

  std::string home() const { return home_; }
  std::string path(const std::string& name) const { return home_ + "/" + name; }

  // ---- the board
  // Starts vorelan-boardsim with `arguments` and its link at boardLink().
  void startBoard(const std::vector<std::string>& arguments);
  BoardProcess& board() { return *board_; }
  std::string boardLink() const { return path("board"); }
  // The port map sends COM1 to the board, as Configure ports writes it.
  void mapCom1ToBoard() const;
  // The stored settings of a person who chose COM1 at 9600 bit/s before.
  void storeCom1At9600() const;
  std::string settingsText() const;

  // ---- the program
  // Starts vorelan with `arguments` and connects to its driver; false when either failed.
  bool startProgram(const std::vector<std::string>& arguments = {});
  // File > Exit, then waits for the program to end: its wait status, or
  // nothing when it did not end.
  std::optional<int> exitProgram();
  bool programRunning() const;
  std::string programOutput() const;

  // ---- the driver
  DriverAnswer ask(const std::vector<std::string>& fields);
  // The answer's text; a failure is recorded when the command was refused.
  std::string must(const std::vector<std::string>& fields);
  QJsonObject json(const std::vector<std::string>& fields);
  std::string text(const std::string& controlPath);
  // Polls until `condition` holds; false after `limit`.
  bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 30s);
  bool waitForText(const std::string& controlPath, const std::string& expected, std::chrono::milliseconds limit = 30s);
  // The error display turned green with "Connection OK".
  bool waitForConnection(std::chrono::milliseconds limit = 30s);
  // Runs a menu entry that opens a file dialog and answers it with `file`.
  void chooseFileFromMenu(const std::string& entryPath, const std::string& file);

  // A PNG of a window: into $VORELAN_E2E_SCREENSHOTS as e2e-<name>.png when
  // set, else into the home (so every run takes the pictures). Records a
  // failure unless a PNG file was written.
  void screenshot(const std::string& name, const std::string& windowPath);

 private:
  std::string home_;
  std::unique_ptr<XServer> display_;
  std::unique_ptr<BoardProcess> board_;
  std::unique_ptr<ChildProcess> program_;
  DriverClient driver_;
};

// A file's whole text, or empty when it cannot be read.
std::string readFile(const std::string& path);
// "0A" -> 10; -1 for a text that is no hexadecimal number.
int hexValue(const std::string& text);

}  // namespace e2e
