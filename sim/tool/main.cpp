// vorelan-boardsim: the evaluation board behind a pseudo-terminal.
#include "ConsoleReport.h"
#include "ToolCommandLine.h"

#include "boardsim/CandumpLog.h"
#include "boardsim/CandumpReplay.h"
#include "boardsim/FaultInjector.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>

using namespace boardsim;
using namespace boardsim::tool;

namespace {

// Guards standard output: the simulator thread reports frames and requests,
// the main thread reports commands.
std::mutex outputMutex;

void say(const std::string& text) {
  if (text.empty()) return;
  std::lock_guard lock(outputMutex);
  std::cout << text << (text.back() == '\n' ? "" : "\n") << std::flush;
}

int fail(const std::string& text, int code) {
  std::cerr << "vorelan-boardsim: " << text << "\n";
  return code;
}

// Reads standard input line by line without blocking the poll loop.
class LineReader {
 public:
  // Returns false at end of input.
  bool readAvailable(std::vector<std::string>& lines) {
    char buf[512];
    ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) {
      if (!pending_.empty()) lines.push_back(std::move(pending_));
      return false;
    }
    pending_.append(buf, std::size_t(n));
    for (std::size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
      lines.push_back(pending_.substr(0, nl));
      pending_.erase(0, nl + 1);
    }
    if (pending_.size() > 4096) pending_.clear();  // no line is that long
    return true;
  }

 private:
  std::string pending_;
};

}  // namespace

int main(int argc, char** argv) {
  ToolConfig config;
  try {
    config = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    return fail(std::string(e.what()), 2);
  }
  if (config.help) {
    std::cout << usageText();
    return 0;
  }
  if (config.version) {
    std::cout << "vorelan-boardsim 1.1\n";
    return 0;
  }

  BoardSimulator::Options options = config.options;
  try {
    if (config.generate) {
      options.traffic = std::make_shared<TrafficGenerator>(config.generator);
    } else if (!config.replayPath.empty()) {
      auto replay = std::make_shared<CandumpReplay>(candump::readFile(config.replayPath), config.loop);
      if (replay->frameCount() == 0) say("note: " + config.replayPath + " holds no frame the cell can receive");
      options.traffic = replay;
    }
  } catch (const std::exception& e) {
    return fail(e.what(), 2);
  }
  if (!config.quiet) options.onBusEvent = [](const BoardSimulator::BusEvent& event) { say(describe(event)); };
  // Set before start(), so the simulator thread that runs the sink sees it.
  const BoardSimulator* simulator = nullptr;
  if (config.verbose)
    options.onTranscript = [&simulator](const TranscriptEntry& e) { say(Transcript::format(e, simulator->origin())); };

  // Signals arrive through a descriptor, so the loop below can wait for them with poll().
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before the simulator thread exists: it inherits the mask
  std::signal(SIGPIPE, SIG_IGN);
  int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
  if (signalFd < 0) return fail(std::string("signalfd: ") + std::strerror(errno), 1);

  BoardSimulator sim(options);
  simulator = &sim;
  try {
    sim.start();
  } catch (const std::exception& e) {
    return fail(e.what(), 1);
  }
  say("vorelan-boardsim: board on " + sim.slavePath() +
      (options.linkPath.empty() ? "" : " (link " + options.linkPath + ")"));
  say(std::string("line: ") + (options.instant ? "instant answers" : "answers at the speed set on the port") +
      "; traffic: " +
      (config.generate             ? "generated"
       : config.replayPath.empty() ? "none"
                                   : "replay of " + config.replayPath) +
      "; commands on stdin (help)");
  for (const auto& command : config.startupCommands) {
    try {
      say(runCommand(sim, command));
    } catch (const std::exception& e) {
      sim.stop();
      return fail(e.what(), 2);
    }
  }

  // Declared after sim, so that it stops before the simulator goes away on every path.
  std::optional<FaultInjector> chaos;
  if (config.chaos) {
    FaultInjector::Options chaosOptions;
    chaosOptions.reportPath = config.chaosReportPath;
    if (!config.quiet) chaosOptions.onFault = [](const ScheduledFault& fault) { say("chaos: " + describe(fault)); };
    chaos.emplace(*config.chaos, chaosOptions);
    try {
      chaos->start(sim);
    } catch (const std::exception& e) {
      sim.stop();
      return fail(e.what(), 1);
    }
    std::string kinds;
    for (std::size_t k = 0; k < kFaultKindCount; ++k)
      if (config.chaos->kinds.test(k)) kinds += std::string(kinds.empty() ? "" : ",") + faultKindName(FaultKind(k));
    say("chaos: seed " + std::to_string(config.chaos->seed) + ", a fault every " +
        std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(config.chaos->meanInterval).count()) +
        " ms on average among " + kinds + "; counts on `stats`");
  }
  const FaultInjector* chaosRunning = chaos ? &*chaos : nullptr;

  LineReader input;
  bool stdinOpen = true;
  auto vanishAt = config.vanishAfter ? std::optional(Clock::now() + *config.vanishAfter) : std::nullopt;
  std::optional<Clock::time_point> reappearAt;
  int exitCode = 0;
  for (bool quit = false; !quit;) {
    std::optional<Clock::time_point> next = vanishAt ? vanishAt : reappearAt;
    int timeout = -1;
    if (next)
      timeout = int(std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count()));
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    int ready = poll(fds, stdinOpen ? 2 : 1, timeout);
    if (ready < 0 && errno != EINTR) {
      exitCode = fail(std::string("poll: ") + std::strerror(errno), 1);
      break;
    }
    if (fds[0].revents & POLLIN) break;
    if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      std::vector<std::string> lines;
      stdinOpen = input.readAvailable(lines);
      for (const auto& line : lines) {
        if (line == "quit" || line == "exit") {
          quit = true;
          break;
        }
        try {
          say(runCommand(sim, line, chaosRunning));
        } catch (const std::exception& e) {
          say(std::string("error: ") + e.what());
        }
      }
    }
    auto now = Clock::now();
    if (vanishAt && now >= *vanishAt) {
      vanishAt.reset();
      sim.vanish();
      say("the board vanished");
      if (config.reappearAfter) reappearAt = now + *config.reappearAfter;
    } else if (reappearAt && now >= *reappearAt) {
      reappearAt.reset();
      try {
        say("the board is back on " + sim.reappear());
      } catch (const std::exception& e) {
        exitCode = fail(e.what(), 1);
        break;
      }
    }
  }
  if (chaos) {
    chaos->stop();
    say(runCommand(sim, "stats", chaosRunning));
  }
  sim.stop();
  ::close(signalFd);
  return exitCode;
}
