#pragma once

#include <QString>

#include <memory>

namespace boardsim {
class BoardSimulator;
}

// The board of `vorelan --simulate`: a board simulator inside the program,
// answering at the line's real pace (the speed the serial node sets on the
// pty), with generated CAN traffic arriving on its bus. It is reached through
// a symbolic link in a private folder, and VORELAN_COM1 names that link for
// this process only, so the user's own port settings stay untouched and a
// vanished and reappeared board is found again under the same name.
//
// Threads: created and destroyed in the main thread, before the nodes connect
// and after they are closed; the simulator runs its own thread.
class TSimulatedBoard {
 public:
  // Starts the board and points COM1 at it. Throws std::runtime_error with a
  // clear message when it cannot start.
  TSimulatedBoard();
  ~TSimulatedBoard();  // stops the board and removes the link

  TSimulatedBoard(const TSimulatedBoard&) = delete;
  TSimulatedBoard& operator=(const TSimulatedBoard&) = delete;

  QString linkPath() const;
  boardsim::BoardSimulator& simulator() { return *simulator_; }

  static constexpr double kFramesPerSecond = 2.0;

 private:
  QString folder_;
  std::unique_ptr<boardsim::BoardSimulator> simulator_;
};
