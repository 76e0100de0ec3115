// The program's errors: exceptions that carry a message text. Every one that
// escapes a window handler ends on the main window's error display.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class EAppError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An access to the target that ended because the program is shutting down:
// nothing was read (or the write may not have happened). Callers treat it as
// any failure; the register access thread's status is not shown any more then,
// and a window shows nothing for it (the program is going).
class EShutdown : public EAppError {
 public:
  EShutdown() : EAppError("The program is closing") {}
};

// A read of the registers in a register session that failed. The register
// access thread has already made its message the pass's status and shown it
// (on the error display, while connected), so a window shows it no second time.
class EReadFailed : public EAppError {
 public:
  using EAppError::EAppError;
};

// A node's failure status with its rich error information.
class ENodeError : public EAppError {
 public:
  ENodeError(const std::string& message, std::int32_t code, std::string source, std::string helpFile,
             std::uint32_t helpContext)
      : EAppError(message),
        code_(code),
        source_(std::move(source)),
        helpFile_(std::move(helpFile)),
        helpContext_(helpContext) {}
  std::int32_t code() const { return code_; }
  const std::string& source() const { return source_; }
  const std::string& helpFile() const { return helpFile_; }
  std::uint32_t helpContext() const { return helpContext_; }

 private:
  std::int32_t code_;
  std::string source_, helpFile_;
  std::uint32_t helpContext_;
};
