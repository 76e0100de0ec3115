#pragma once

#include <optional>
#include <string>

namespace boardsim {

// The board's end of the serial line: a pseudo-terminal master, with its
// slave (/dev/pts/N) as the port that a client opens.
//
// We keep a descriptor of the slave open ourselves. Without it the master
// reports a hang-up (POLLHUP, EIO) whenever no client has the slave open, and
// a poll loop on it would spin until a client comes; with it the master just
// waits quietly. The slave's termios are shared with the master, so the line
// speed the client sets is read back here for the wire timing.
// The slave starts in raw mode at 9600 bit/s, so that nothing is echoed back
// before a client has set the line up.
class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(PseudoTerminal&& other) noexcept;
  PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Throws std::runtime_error saying what failed.
  static PseudoTerminal open();

  bool isOpen() const { return master_ >= 0; }
  int masterFd() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  // Bits per second the line is set to, if the speed code is a known one.
  std::optional<unsigned> lineSpeed() const;
  // Closes both ends we hold: a client's slave descriptor sees a hang-up.
  void close();

 private:
  int master_ = -1;
  int slaveHold_ = -1;
  std::string slavePath_;
};

// Makes `link` a symbolic link to `target`, replacing an earlier symbolic link
// in one step (a reader never finds it missing). Refuses, with a message, to
// replace anything that is not a symbolic link. Throws std::runtime_error.
void pointSymbolicLink(const std::string& link, const std::string& target);
// Removes `link` if it is still a symbolic link to `target`.
void removeSymbolicLink(const std::string& link, const std::string& target);

}  // namespace boardsim
