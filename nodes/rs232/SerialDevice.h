// One open serial device: its descriptor and the system calls the
// serial-port layer makes on it. Not thread-safe: the layer's callers
// serialise every use (the serial node's port lock).
#pragma once

#include <termios.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "SerialSettings.h"

class SerialDevice {
 public:
  // Outcome of a call on the open device. Gone: hang-up or EIO, the device
  // has been unplugged or its far end has closed; only reopening helps.
  enum class Io { Done, Gone, Failed };

  struct OpenFailure {
    enum Kind {
      Missing,     // no such device
      Forbidden,   // no permission
      Busy,        // another program holds it
      NotSerial,   // not a terminal device
      OtherKind,   // a terminal, but not of the kind required
      Refused,     // the line refuses the settings
      OtherError,  // anything else the system reports
    } kind;
    int error;           // errno, 0 when not from the system
    std::string detail;  // for Refused: what the line refused
  };

  SerialDevice() = default;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;
  ~SerialDevice() { Close(); }

  // The kind of a character device: its driver's major number, the ranges
  // of one driver taken as one (every pseudo-terminal is one kind).
  using Kind = unsigned;

  // Opens `path` read/write, non-blocking, without making it the controlling
  // terminal, exclusively (TIOCEXCL plus a flock, so that root's opens are
  // refused too), in raw mode with `settings`, and discards whatever the
  // driver held for either direction. With `requiredKind`, a terminal of
  // another kind is not opened (OtherKind).
  std::optional<OpenFailure> Open(const std::string& path, const SerialSettings& settings, int flowControl,
                                  std::optional<Kind> requiredKind = std::nullopt);
  // Gives the line back the settings it had before Open (a terminal of the
  // user's keeps working as it did), then clears the exclusive mode and the
  // lock: on a pty TIOCEXCL would outlive close() while the master stays open
  // and refuse the next open with EBUSY.
  void Close();
  // The kind of the device opened last; kept after Close.
  std::optional<Kind> LastKind() const { return kind_; }
  bool IsOpen() const { return descriptor_ >= 0; }
  int Descriptor() const { return descriptor_; }
  const std::string& Path() const { return path_; }

  // Applies `settings` to the open line; fails when the line does not take
  // them or not the speed. `systemError` (optional) receives the errno.
  bool Configure(const SerialSettings& settings, int flowControl, std::string* error, int* systemError = nullptr);

  // True when the device reports hang-up or error without blocking.
  bool HungUp() const;
  // Appends every waiting byte (at most `limit`, 0 for no limit of ours).
  Io Read(std::size_t limit, std::vector<std::uint8_t>* bytes, std::string* error);
  // Writes all bytes, waiting for room while the driver is full; fails when
  // the device takes no byte for `stallLimit`.
  Io Write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds stallLimit, std::string* error);
  Io WaitingInput(int* count, std::string* error);
  Io WaitingOutput(int* count, std::string* error);
  // Discards received (TCIFLUSH) or unsent (TCOFLUSH) bytes.
  Io Discard(int queue, std::string* error);
  // Enters or leaves the break state; drivers without break control (ptys) are fine.
  Io SetBreak(bool on, std::string* error);

 private:
  Io Outcome(const char* what, std::string* error) const;

  int descriptor_ = -1;
  std::string path_;
  termios original_{};  // the line's settings when it was opened
  std::optional<Kind> kind_;
};
