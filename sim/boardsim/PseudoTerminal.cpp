#include "boardsim/PseudoTerminal.h"

#include "boardsim/LineTiming.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace boardsim {

namespace {
std::runtime_error systemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}
}  // namespace

PseudoTerminal::~PseudoTerminal() {
  close();
}

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master_(std::exchange(other.master_, -1)),
      slaveHold_(std::exchange(other.slaveHold_, -1)),
      slavePath_(std::move(other.slavePath_)) {}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
  if (this != &other) {
    close();
    master_ = std::exchange(other.master_, -1);
    slaveHold_ = std::exchange(other.slaveHold_, -1);
    slavePath_ = std::move(other.slavePath_);
  }
  return *this;
}

PseudoTerminal PseudoTerminal::open() {
  PseudoTerminal pty;
  pty.master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (pty.master_ < 0) throw systemError("cannot open a pseudo-terminal");
  if (grantpt(pty.master_) != 0 || unlockpt(pty.master_) != 0) throw systemError("cannot unlock the pseudo-terminal");
  char name[128];
  if (ptsname_r(pty.master_, name, sizeof name) != 0) throw systemError("cannot name the pseudo-terminal");
  pty.slavePath_ = name;
  pty.slaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (pty.slaveHold_ < 0) throw systemError("cannot open " + pty.slavePath_);
  termios tio{};
  if (tcgetattr(pty.slaveHold_, &tio) != 0) throw systemError("cannot read the settings of " + pty.slavePath_);
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&tio, B9600);
  cfsetospeed(&tio, B9600);
  if (tcsetattr(pty.slaveHold_, TCSANOW, &tio) != 0) throw systemError("cannot set up " + pty.slavePath_);
  return pty;
}

std::optional<unsigned> PseudoTerminal::lineSpeed() const {
  termios tio{};
  if (master_ < 0 || tcgetattr(master_, &tio) != 0) return std::nullopt;
  return bitsPerSecond(cfgetospeed(&tio));
}

void PseudoTerminal::close() {
  if (slaveHold_ >= 0) ::close(slaveHold_);
  if (master_ >= 0) ::close(master_);
  slaveHold_ = master_ = -1;
}

void pointSymbolicLink(const std::string& link, const std::string& target) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
    throw std::runtime_error(link + " exists and is not a symbolic link; not replacing it");
  std::string temporary = link + ".boardsim-" + std::to_string(getpid());
  ::unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) throw systemError("cannot create the link " + link);
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
    throw systemError("cannot create the link " + link);
  }
}

void removeSymbolicLink(const std::string& link, const std::string& target) {
  char buf[4096];
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n < 0) return;
  buf[n] = 0;
  if (target == buf) ::unlink(link.c_str());
}

}  // namespace boardsim
