// The board's CAN cell shared as an SLCAN interface: a pseudo-terminal whose
// client speaks SLCAN (python-can, slcand, ...), with a symbolic link to it
// at a path of the user's choice, and the bridge that carries the client's
// commands out on the cell through the register access thread.
//
//   TSlcanShare share(*link.regThread(), {{8, 1}, "/home/me/can-board"}, linkUp, message);
//   ... the client opens /home/me/can-board ...
//   share.Finish([] { ... the cell is as the share found it ... });
//
// Threads: the GUI thread (the one with the event loop) only: the pty is
// read and written there through socket notifiers, never blocking.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "SlcanBridge.h"
#include "boardsim/PseudoTerminal.h"

class QSocketNotifier;

// The pseudo-terminal. Reads while reading is on; writes without waiting,
// keeping up to MaxPending bytes the client has not taken yet (more are
// dropped: a client that reads nothing must not hold the program).
class TSlcanPort : public QObject {
  Q_OBJECT

 public:
  static constexpr std::size_t MaxPending = 64 * 1024;

  // Opens the pseudo-terminal and points `linkPath` at it (no link when
  // empty). Throws std::runtime_error saying what failed; an existing file
  // at `linkPath` that is no symbolic link is left alone and refused.
  explicit TSlcanPort(std::string linkPath, QObject* parent = nullptr);
  ~TSlcanPort() override;  // removes the link if it still points here

  const std::string& devicePath() const { return pty_.slavePath(); }
  const std::string& linkPath() const { return linkPath_; }

  void SetInput(std::function<void(std::string_view bytes)> input) { input_ = std::move(input); }
  void SetReading(bool on);
  void Write(const std::string& bytes);
  // Bytes dropped because the client did not read them.
  std::size_t Dropped() const { return dropped_; }

 private:
  void ReadReady();
  void Flush();

  boardsim::PseudoTerminal pty_;
  std::string linkPath_;
  std::function<void(std::string_view)> input_;
  std::string pending_;  // written when the pty takes more
  std::size_t dropped_ = 0;
  QSocketNotifier* reader_ = nullptr;
  QSocketNotifier* writer_ = nullptr;
};

class TSlcanShare : public QObject {
  Q_OBJECT

 public:
  struct Options {
    TSlcanBridge::Options bridge;
    std::string linkPath;  // empty: no link, the device path only
  };

  // Throws std::runtime_error when the pseudo-terminal or the link cannot be made.
  TSlcanShare(TCANRegAccessThread& registers, Options options, TSlcanBridge::LinkUp linkUp,
              TSlcanBridge::Message message, QObject* parent = nullptr);

  TSlcanPort& port() { return *port_; }
  TSlcanBridge& bridge() { return *bridge_; }
  // "/home/me/can-board (/dev/pts/5)", or the device alone without a link.
  std::string Where() const;
  // See TSlcanBridge::Finish; the client's bytes are no longer read.
  void Finish(std::function<void()> done);

 private:
  TSlcanPort* port_;
  TSlcanBridge* bridge_;
};
