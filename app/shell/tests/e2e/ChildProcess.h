// A program the end-to-end tests run as a child process: started with an
// environment given whole, ended when the test process ends however it ends, its standard input from a pipe the test
// writes (or /dev/null), its standard output and error into a file or a pipe the test reads. The destructor kills a
// child that is still running and reaps it, so no test leaves a process behind.
//
// Threads: one thread uses an object at a time; inputFd()/outputFd() may be
// handed to another thread for reading or writing.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// The test process's environment with changes: what a child is given.
class Environment {
 public:
  Environment();  // a copy of this process's environment
  void set(const std::string& name, const std::string& value) { values_[name] = value; }
  void erase(const std::string& name) { values_.erase(name); }
  std::string get(const std::string& name) const;
  std::vector<std::string> entries() const;

 private:
  std::map<std::string, std::string> values_;
};

class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> arguments;  // the program first
    Environment environment;
    std::string outputFile;     // standard output and error appended here, unless outputPipe
    bool inputPipe = false;     // else standard input is /dev/null
    bool outputPipe = false;    // standard output and error into a pipe: outputFd()
    std::vector<int> keepOpen;  // descriptors the child inherits (e.g. Xvfb's -displayfd)
  };

  explicit ChildProcess(Options options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  int inputFd() const { return input_; }
  int outputFd() const { return output_; }
  void closeInput();
  void signal(int number) const;

  // The wait status once the child has ended, or nothing if it still runs
  // after `limit` (a hang detector, not a measure of time).
  std::optional<int> waitForEnd(std::chrono::milliseconds limit);
  bool ended() const { return status_.has_value(); }

 private:
  pid_t pid_ = -1;
  int pidFd_ = -1;  // becomes readable when the child ends
  int input_ = -1;
  int output_ = -1;
  std::optional<int> status_;
};

// "exited with status 0", "killed by signal 6", "still running".
std::string describeStatus(const std::optional<int>& status);

}  // namespace e2e
