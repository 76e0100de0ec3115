#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace e2e {

Environment::Environment() {
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) values_[text.substr(0, equals)] = text.substr(equals + 1);
  }
}

std::string Environment::get(const std::string& name) const {
  const auto found = values_.find(name);
  return found == values_.end() ? std::string() : found->second;
}

std::vector<std::string> Environment::entries() const {
  std::vector<std::string> result;
  for (const auto& [name, value] : values_) result.push_back(name + "=" + value);
  return result;
}

ChildProcess::ChildProcess(Options options) {
  int inputPipe[2] = {-1, -1};
  int outputPipe[2] = {-1, -1};
  if (options.inputPipe && pipe2(inputPipe, O_CLOEXEC) != 0) return;
  if (options.outputPipe && pipe2(outputPipe, O_CLOEXEC) != 0) return;

  // Everything the child needs is made before fork(): after it, the child of
  // this multithreaded process calls only async-signal-safe functions.
  std::vector<char*> argv;
  for (std::string& argument : options.arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = options.environment.entries();
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const std::string outputFile = options.outputFile.empty() ? "/dev/null" : options.outputFile;
  const pid_t parent = ::getpid();

  pid_ = ::fork();
  if (pid_ == 0) {
    // The child goes with the test: a test process that is killed (a CTest
    // time-out) leaves no program, simulator or X server behind.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
    const int input = options.inputPipe ? inputPipe[0] : ::open("/dev/null", O_RDONLY);
    const int output =
        options.outputPipe ? outputPipe[1] : ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (input < 0 || output < 0 || ::dup2(input, 0) < 0 || ::dup2(output, 1) < 0 || ::dup2(output, 2) < 0) ::_exit(127);
    // A descriptor to keep loses its close-on-exec flag.
    for (int fd : options.keepOpen)
      if (::fcntl(fd, F_SETFD, 0) != 0) ::_exit(127);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }

  if (options.inputPipe) {
    ::close(inputPipe[0]);
    input_ = inputPipe[1];
  }
  if (options.outputPipe) {
    ::close(outputPipe[1]);
    output_ = outputPipe[0];
  }
  if (pid_ > 0) pidFd_ = int(syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int fd : {pidFd_, input_, output_})
    if (fd >= 0) ::close(fd);
}

void ChildProcess::closeInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

void ChildProcess::signal(int number) const {
  if (pid_ > 0 && !status_) ::kill(pid_, number);
}

std::optional<int> ChildProcess::waitForEnd(std::chrono::milliseconds limit) {
  if (status_ || pid_ <= 0) return status_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = status;
      return status_;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    // The process descriptor turns readable when the child ends.
    pollfd end{pidFd_, POLLIN, 0};
    if (::poll(&end, 1, int(left.count())) < 0 && errno != EINTR) return std::nullopt;
  }
}

std::string describeStatus(const std::optional<int>& status) {
  if (!status) return "still running";
  if (WIFEXITED(*status)) return "exited with status " + std::to_string(WEXITSTATUS(*status));
  if (WIFSIGNALED(*status)) return "killed by signal " + std::to_string(WTERMSIG(*status));
  return "stopped";
}

}  // namespace e2e
