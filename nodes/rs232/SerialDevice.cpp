#include "SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

bool DeviceGoneError(int error) {
  return error == EIO || error == ENXIO || error == ENODEV;
}

SerialDevice::OpenFailure Failure(SerialDevice::OpenFailure::Kind kind, int error, std::string detail = {}) {
  return {kind, error, std::move(detail)};
}

// Unix98 pseudo-terminal slaves take majors 136 to 143 as they are numbered.
constexpr unsigned kFirstPtyMajor = 136, kLastPtyMajor = 143;

SerialDevice::Kind KindOf(const struct stat& status) {
  const unsigned driver = major(status.st_rdev);
  return driver >= kFirstPtyMajor && driver <= kLastPtyMajor ? kFirstPtyMajor : driver;
}

}  // namespace

std::optional<SerialDevice::OpenFailure> SerialDevice::Open(const std::string& path, const SerialSettings& settings,
                                                            int flowControl, std::optional<Kind> requiredKind) {
  Close();
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    switch (error) {
      case ENOENT:
      case ENODEV:
      case ENXIO:
      case ENOTDIR:
        return Failure(OpenFailure::Missing, error);
      case EACCES:
      case EPERM:
      case EROFS:
        return Failure(OpenFailure::Forbidden, error);
      case EBUSY:
        return Failure(OpenFailure::Busy, error);
      default:
        return Failure(OpenFailure::OtherError, error);
    }
  }
  const auto giveUp = [fd](OpenFailure failure) {
    ioctl(fd, TIOCNXCL);
    ::close(fd);
    return failure;
  };
  if (!isatty(fd)) return giveUp(Failure(OpenFailure::NotSerial, 0));
  struct stat status {};
  if (fstat(fd, &status) != 0) return giveUp(Failure(OpenFailure::OtherError, errno));
  const Kind kind = KindOf(status);
  if (requiredKind && kind != *requiredKind) return giveUp(Failure(OpenFailure::OtherKind, 0));
  if (tcgetattr(fd, &original_) != 0) return giveUp(Failure(OpenFailure::NotSerial, errno));
  // The flock keeps out other programs that lock too, root included; TIOCEXCL
  // keeps out every other non-root open.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return giveUp(Failure(OpenFailure::Busy, EBUSY));
  ioctl(fd, TIOCEXCL);

  descriptor_ = fd;
  path_ = path;
  kind_ = kind;
  std::string detail;
  int error = 0;
  if (!Configure(settings, flowControl, &detail, &error)) {
    tcsetattr(fd, TCSANOW, &original_);
    descriptor_ = -1;
    path_.clear();
    if (DeviceGoneError(error)) return giveUp(Failure(OpenFailure::Missing, error));
    return giveUp(Failure(OpenFailure::Refused, error, detail));
  }
  tcflush(fd, TCIOFLUSH);
  return std::nullopt;
}

void SerialDevice::Close() {
  if (descriptor_ < 0) return;
  // Whatever the device says (a vanished one refuses), the descriptor closes.
  tcsetattr(descriptor_, TCSANOW, &original_);
  ioctl(descriptor_, TIOCNXCL);
  // Unlocked explicitly: a poll() still waiting on the descriptor in another
  // thread keeps the file open past close(), and with it a flock lock, which
  // would refuse an immediate reopen.
  flock(descriptor_, LOCK_UN);
  ::close(descriptor_);
  descriptor_ = -1;
  path_.clear();
}

bool SerialDevice::Configure(const SerialSettings& settings, int flowControl, std::string* error, int* systemError) {
  const auto fail = [&](int code, std::string text) {
    if (systemError) *systemError = code;
    *error = std::move(text);
    return false;
  };
  termios line{};
  if (tcgetattr(descriptor_, &line) != 0) {
    const int code = errno;
    return fail(code, "Cannot read the line settings of " + path_ + ": " + std::strerror(code) + ".");
  }
  ApplyLineSettings(settings, flowControl, &line);
  if (tcsetattr(descriptor_, TCSANOW, &line) != 0) {
    const int code = errno;
    return fail(code, "The device " + path_ + " refuses the serial settings: " + std::strerror(code) + ".");
  }
  // tcsetattr succeeds when any part of the change took; read the speed back.
  termios taken{};
  if (tcgetattr(descriptor_, &taken) == 0 && cfgetospeed(&taken) != cfgetospeed(&line))
    return fail(EINVAL, "The device " + path_ + " does not support " + std::to_string(settings.baud) + " baud.");
  return true;
}

bool SerialDevice::HungUp() const {
  if (descriptor_ < 0) return false;
  pollfd state{descriptor_, POLLIN, 0};
  return poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL));
}

SerialDevice::Io SerialDevice::Outcome(const char* what, std::string* error) const {
  const int code = errno;
  if (DeviceGoneError(code)) {
    *error = "The device " + path_ + " has gone away (" + std::strerror(code) + ").";
    return Io::Gone;
  }
  *error = std::string("Cannot ") + what + " " + path_ + ": " + std::strerror(code) + ".";
  return Io::Failed;
}

SerialDevice::Io SerialDevice::Read(std::size_t limit, std::vector<std::uint8_t>* bytes, std::string* error) {
  // Bounded so that a device that never stops sending cannot keep one read going.
  constexpr std::size_t kMostPerRead = 1 << 20;
  const std::size_t most = limit == 0 ? kMostPerRead : std::min(limit, kMostPerRead);
  std::uint8_t chunk[4096];
  std::size_t taken = 0;
  while (taken < most) {
    const ssize_t n = ::read(descriptor_, chunk, std::min(sizeof chunk, most - taken));
    if (n > 0) {
      bytes->insert(bytes->end(), chunk, chunk + n);
      taken += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) {  // with VMIN 1 and O_NONBLOCK, only a hang-up reads 0 bytes
      *error = "The device " + path_ + " has hung up.";
      return Io::Gone;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) break;
    return Outcome("read from", error);
  }
  return Io::Done;
}

SerialDevice::Io SerialDevice::Write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds stallLimit,
                                     std::string* error) {
  using Clock = std::chrono::steady_clock;
  std::size_t sent = 0;
  Clock::time_point deadline = Clock::now() + stallLimit;
  while (sent < bytes.size()) {
    const ssize_t n = ::write(descriptor_, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      deadline = Clock::now() + stallLimit;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return Outcome("write to", error);
    // The driver is full: wait for room, a slice at a time.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      *error = "Sending to " + path_ + " stalled: the device took no data for " + std::to_string(stallLimit.count()) +
               " ms (" + std::to_string(sent) + " of " + std::to_string(bytes.size()) + " bytes sent).";
      return Io::Failed;
    }
    pollfd room{descriptor_, POLLOUT, 0};
    if (poll(&room, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 100))) > 0 &&
        (room.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      *error = "The device " + path_ + " has hung up.";
      return Io::Gone;
    }
  }
  return Io::Done;
}

SerialDevice::Io SerialDevice::WaitingInput(int* count, std::string* error) {
  *count = 0;
  if (ioctl(descriptor_, FIONREAD, count) != 0) return Outcome("count the bytes received by", error);
  return Io::Done;
}

SerialDevice::Io SerialDevice::WaitingOutput(int* count, std::string* error) {
  *count = 0;
  if (ioctl(descriptor_, TIOCOUTQ, count) != 0) return Outcome("count the bytes waiting to be sent by", error);
  return Io::Done;
}

SerialDevice::Io SerialDevice::Discard(int queue, std::string* error) {
  if (tcflush(descriptor_, queue) != 0) return Outcome("discard the buffered bytes of", error);
  return Io::Done;
}

SerialDevice::Io SerialDevice::SetBreak(bool on, std::string* error) {
  if (ioctl(descriptor_, on ? TIOCSBRK : TIOCCBRK) == 0 || errno == ENOTTY || errno == EINVAL) return Io::Done;
  return Outcome(on ? "start the break state of" : "end the break state of", error);
}
