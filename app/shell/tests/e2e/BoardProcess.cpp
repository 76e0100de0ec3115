#include "BoardProcess.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <sstream>

namespace e2e {

BoardProcess::BoardProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const Environment& environment) {
  ChildProcess::Options options;
  options.arguments = {program};
  options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
  options.environment = environment;
  options.inputPipe = true;
  options.outputPipe = true;
  process_ = std::make_unique<ChildProcess>(std::move(options));
  if (process_->started())
    reader_ = std::thread([this] { readOutput(); });
  else
    ended_ = true;
}

BoardProcess::~BoardProcess() {
  if (process_->started()) {
    command("quit");
    process_->closeInput();
    if (!process_->waitForEnd(std::chrono::seconds(10))) process_->signal(SIGKILL);
  }
  if (reader_.joinable()) reader_.join();
}

bool BoardProcess::running() const {
  std::lock_guard lock(mutex_);
  return !ended_;
}

void BoardProcess::command(const std::string& line) {
  const std::string text = line + "\n";
  if (process_->inputFd() >= 0) static_cast<void>(::write(process_->inputFd(), text.data(), text.size()));
}

void BoardProcess::readOutput() {
  std::string partial;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(process_->outputFd(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    partial.append(buffer, std::size_t(n));
    std::vector<std::string> complete;
    for (std::size_t end; (end = partial.find('\n')) != std::string::npos;) {
      complete.push_back(partial.substr(0, end));
      partial.erase(0, end + 1);
    }
    if (complete.empty()) continue;
    {
      std::lock_guard lock(mutex_);
      lines_.insert(lines_.end(), complete.begin(), complete.end());
    }
    changed_.notify_all();
  }
  {
    std::lock_guard lock(mutex_);
    if (!partial.empty()) lines_.push_back(partial);
    ended_ = true;
  }
  changed_.notify_all();
}

std::size_t BoardProcess::lineCount() const {
  std::lock_guard lock(mutex_);
  return lines_.size();
}

std::vector<std::string> BoardProcess::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::optional<std::size_t> BoardProcess::waitForLine(const std::function<bool(const std::string&)>& matches,
                                                     std::size_t from, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock lock(mutex_);
  for (std::size_t next = from;;) {
    for (; next < lines_.size(); ++next)
      if (matches(lines_[next])) return next;
    if (ended_ || changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      for (; next < lines_.size(); ++next)
        if (matches(lines_[next])) return next;
      return std::nullopt;
    }
  }
}

std::optional<BoardRegisters> BoardProcess::registers(std::chrono::milliseconds limit) {
  const std::size_t from = lineCount();
  command("regs");
  const auto startsWith = [](const std::string& prefix) {
    return [prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; };
  };
  const auto first = waitForLine(startsWith("ISR "), from, limit);
  if (!first) return std::nullopt;
  BoardRegisters registers;
  {
    const std::vector<std::string> all = lines();
    unsigned values[6];
    if (std::sscanf(all[*first].c_str(), "ISR %x ICR %x CSR %x BRPR %x BTR %x PSR %x", &values[0], &values[1],
                    &values[2], &values[3], &values[4], &values[5]) != 6)
      return std::nullopt;
    for (int i = 0; i < 6; ++i) registers.main[std::size_t(i)] = uint8_t(values[i]);
  }
  std::size_t at = *first;
  for (int page = 0; page < 5; ++page) {
    const auto line = waitForLine(startsWith("page " + std::to_string(page)), at + 1, limit);
    if (!line) return std::nullopt;
    const std::string text = lines()[*line];
    std::istringstream bytes(text.substr(text.find(':') + 1));
    for (auto& byte : registers.pages[std::size_t(page)]) {
      unsigned value = 0;
      if (!(bytes >> std::hex >> value)) return std::nullopt;
      byte = uint8_t(value);
    }
    at = *line;
  }
  return registers;
}

std::optional<std::string> BoardProcess::reappear(std::chrono::milliseconds limit) {
  const std::size_t from = lineCount();
  command("reappear");
  const auto line =
      waitForLine([](const std::string& text) { return text.rfind("the board is back on", 0) == 0; }, from, limit);
  if (!line) return std::nullopt;
  return lines()[*line];
}

}  // namespace e2e
