#include "boardsim/BoardSimulator.h"

#include "boardsim/CandumpLog.h"
#include "boardsim/LineTiming.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace boardsim {

namespace {
constexpr unsigned kDefaultLineSpeed = 9600;

std::chrono::microseconds wallClockNow() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch());
}
}  // namespace

BoardSimulator::BoardSimulator() : BoardSimulator(Options{}) {}

BoardSimulator::BoardSimulator(Options options) : options_(std::move(options)), receiver_(options_.resyncGap) {
  memory_.cell().setAcknowledged(options_.acknowledged);
}

BoardSimulator::~BoardSimulator() {
  stop();
}

void BoardSimulator::start() {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (thread_.joinable()) return;
  PseudoTerminal pty = PseudoTerminal::open();
  if (!options_.linkPath.empty()) pointSymbolicLink(options_.linkPath, pty.slavePath());
  auto undoLink = [&] {
    if (!options_.linkPath.empty()) removeSymbolicLink(options_.linkPath, pty.slavePath());
  };
  try {
    if (!options_.tracePath.empty()) {
      traceFile_.open(options_.tracePath, std::ios::out | std::ios::trunc);
      if (!traceFile_) throw std::runtime_error("cannot write the trace file " + options_.tracePath);
    }
    std::ofstream txLog;
    if (!options_.txLogPath.empty()) {
      txLog.open(options_.txLogPath, std::ios::out | std::ios::app);
      if (!txLog) throw std::runtime_error("cannot write the transmission log " + options_.txLogPath);
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw std::runtime_error(std::string("cannot create an eventfd: ") + std::strerror(errno));
    std::lock_guard lock(mutex_);
    txLog_ = std::move(txLog);
  } catch (...) {
    traceFile_.close();
    undoLink();
    throw;
  }

  origin_ = Clock::now();
  transcript_.setSink([this](const TranscriptEntry& entry) {
    if (traceFile_.is_open()) traceFile_ << Transcript::format(entry, origin_) << std::endl;
    if (options_.onTranscript) options_.onTranscript(entry);
  });
  if (options_.traffic) options_.traffic->start(origin_);
  pty_ = std::move(pty);
  receiver_.reset();
  inbound_.clear();
  output_.clear();
  pending_.clear();
  outputBlocked_ = false;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = false;
    threadRunning_ = true;
    vanished_ = false;
    slavePathCopy_ = pty_.slavePath();
    bytesReceived_ = 0;
    settled_ = true;
  }
  thread_ = std::thread(&BoardSimulator::run, this);
}

void BoardSimulator::stop() {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  wake();
  thread_.join();
  closeLine("simulator stopped");
  ::close(wakeFd_);
  wakeFd_ = -1;
  transcript_.setSink(nullptr);
  traceFile_.close();
  std::lock_guard lock(mutex_);
  txLog_.close();
}

bool BoardSimulator::running() const {
  std::lock_guard lock(mutex_);
  return threadRunning_;
}

std::string BoardSimulator::slavePath() const {
  std::lock_guard lock(mutex_);
  return slavePathCopy_;
}

std::size_t BoardSimulator::bytesReceived() const {
  std::lock_guard lock(mutex_);
  return bytesReceived_;
}

bool BoardSimulator::waitUntilSettled(std::size_t bytes, Clock::duration timeout) const {
  std::unique_lock lock(mutex_);
  return stateChanged_.wait_for(lock, timeout, [&] { return bytesReceived_ >= bytes && settled_; });
}

// ---------------------------------------------------------------- target state

std::vector<uint8_t> BoardSimulator::readMemory(uint16_t address, std::size_t count) const {
  std::lock_guard lock(mutex_);
  return memory_.read(address, count);
}

void BoardSimulator::writeMemory(uint16_t address, const std::vector<uint8_t>& bytes) {
  std::vector<BusEvent> events;
  {
    std::lock_guard lock(mutex_);
    memory_.write(address, bytes);
    collectTransmissionsLocked(events);
  }
  publishBusEvents(events);
}

uint8_t BoardSimulator::peekRegister(int page, uint16_t address) const {
  std::lock_guard lock(mutex_);
  return memory_.cell().peek(page, address);
}

void BoardSimulator::pokeRegister(int page, uint16_t address, uint8_t value) {
  std::lock_guard lock(mutex_);
  memory_.cell().poke(page, address, value);
}

CanCell::ReceiveResult BoardSimulator::injectFrame(const CanFrame& frame) {
  BusEvent event;
  event.kind = BusEvent::Kind::Received;
  event.frame = frame;
  {
    std::lock_guard lock(mutex_);
    event.reception = memory_.cell().receive(frame);
  }
  publishBusEvents({event});
  return event.reception;
}

void BoardSimulator::setAcknowledged(bool acknowledged) {
  std::lock_guard lock(mutex_);
  memory_.cell().setAcknowledged(acknowledged);
}

std::vector<BoardSimulator::TransmittedFrame> BoardSimulator::transmittedFrames() const {
  std::lock_guard lock(mutex_);
  return transmitted_;
}

void BoardSimulator::clearTransmittedFrames() {
  std::lock_guard lock(mutex_);
  transmitted_.clear();
}

void BoardSimulator::collectTransmissionsLocked(std::vector<BusEvent>& events) {
  for (auto& t : memory_.cell().takeTransmissions()) {
    transmitted_.push_back({Clock::now(), t.frame, t.buffer, t.acknowledged});
    if (txLog_.is_open()) txLog_ << candump::formatLine(wallClockNow(), options_.busInterface, t.frame) << std::endl;
    BusEvent event;
    event.kind = BusEvent::Kind::Transmitted;
    event.frame = t.frame;
    event.buffer = t.buffer;
    event.acknowledged = t.acknowledged;
    events.push_back(event);
  }
}

void BoardSimulator::publishBusEvents(const std::vector<BusEvent>& events) const {
  if (!options_.onBusEvent) return;
  for (const auto& event : events) options_.onBusEvent(event);
}

// ---------------------------------------------------------------- faults

void BoardSimulator::dropAnswers(int n) {
  std::lock_guard lock(mutex_);
  faults_.dropAnswers(n);
}

void BoardSimulator::corruptAnswers(int n) {
  std::lock_guard lock(mutex_);
  faults_.corruptAnswers(n);
}

void BoardSimulator::addExtraBytes(std::vector<uint8_t> bytes, int answers) {
  std::lock_guard lock(mutex_);
  faults_.addExtraBytes(std::move(bytes), answers);
}

void BoardSimulator::splitAnswers(std::size_t pieceSize, Clock::duration delay, int answers) {
  std::lock_guard lock(mutex_);
  faults_.splitAnswers(pieceSize, delay, answers);
}

void BoardSimulator::clearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

FaultPlan::Remaining BoardSimulator::armedFaults() const {
  std::lock_guard listenerLock(faultListenerMutex_);
  std::lock_guard lock(mutex_);
  return faults_.remaining();
}

void BoardSimulator::setFaultListener(FaultListener listener) {
  std::lock_guard listenerLock(faultListenerMutex_);
  faultListener_ = std::move(listener);
}

void BoardSimulator::sendNoise(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  std::lock_guard lifecycle(lifecycleMutex_);
  runOnSimulatorThread([&] {
    if (!pty_.isOpen()) return;  // nobody to hear it
    uint64_t marker = addPending({TranscriptEntry::Kind::Noise, bytes, {}, ""});
    output_.append(bytes, Clock::now(), characterTime(), {}, marker);
  });
}

void BoardSimulator::vanish() {
  std::lock_guard lifecycle(lifecycleMutex_);
  runOnSimulatorThread([&] { closeLine("line vanished"); });
}

std::string BoardSimulator::reappear() {
  std::lock_guard lifecycle(lifecycleMutex_);
  std::exception_ptr failure;
  runOnSimulatorThread([&] {
    try {
      closeLine("line vanished");
      openLine();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
  return slavePath();
}

bool BoardSimulator::vanished() const {
  std::lock_guard lock(mutex_);
  return vanished_;
}

// Runs on the simulator thread (or the caller when no thread runs).
void BoardSimulator::closeLine(const std::string& why) {
  if (pty_.isOpen()) {
    if (!options_.linkPath.empty()) removeSymbolicLink(options_.linkPath, pty_.slavePath());
    pty_.close();
  }
  // Answers that were still going out are cut off; the transcript says so.
  for (auto& [marker, entry] : pending_) {
    entry.time = Clock::now();
    entry.note += entry.note.empty() ? "cut off: " + why : ", cut off: " + why;
    transcript_.add(std::move(entry));
  }
  pending_.clear();
  output_.clear();
  inbound_.clear();
  receiver_.reset();
  outputBlocked_ = false;
  std::lock_guard lock(mutex_);
  vanished_ = true;
  slavePathCopy_.clear();
  settled_ = true;
  stateChanged_.notify_all();
}

void BoardSimulator::openLine() {
  PseudoTerminal pty = PseudoTerminal::open();
  if (!options_.linkPath.empty()) pointSymbolicLink(options_.linkPath, pty.slavePath());
  pty_ = std::move(pty);
  std::lock_guard lock(mutex_);
  vanished_ = false;
  slavePathCopy_ = pty_.slavePath();
}

// ---------------------------------------------------------------- simulator thread

void BoardSimulator::wake() {
  uint64_t one = 1;
  if (wakeFd_ < 0) return;
  [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
}

void BoardSimulator::runOnSimulatorThread(const std::function<void()>& command) {
  std::unique_lock lock(mutex_);
  if (!threadRunning_ || std::this_thread::get_id() == threadId_) {
    lock.unlock();
    command();
    return;
  }
  uint64_t ticket = ++commandsPosted_;
  commands_.push_back(command);  // the caller waits below, so references in it stay valid
  wake();
  stateChanged_.wait(lock, [&] { return commandsDone_ >= ticket; });
}

void BoardSimulator::runCommands(std::deque<std::function<void()>>& commands) {
  for (auto& command : commands) command();
  std::lock_guard lock(mutex_);
  commandsDone_ += commands.size();
  commands.clear();
  stateChanged_.notify_all();
}

void BoardSimulator::run() {
  {
    std::lock_guard lock(mutex_);
    threadId_ = std::this_thread::get_id();
  }
  std::deque<std::function<void()>> commands;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      commands.swap(commands_);
      if (stopRequested_ && commands.empty()) {
        threadRunning_ = false;
        break;
      }
    }
    runCommands(commands);
    step(Clock::now());
    waitForWork(Clock::now());
    readLine(Clock::now());
  }
}

Clock::duration BoardSimulator::characterTime() const {
  if (options_.instant) return Clock::duration::zero();
  return boardsim::characterTime(pty_.lineSpeed().value_or(kDefaultLineSpeed));
}

uint64_t BoardSimulator::addPending(TranscriptEntry entry) {
  uint64_t marker = nextMarker_++;
  pending_.emplace(marker, std::move(entry));
  return marker;
}

// Takes every waiting byte off the pty. Each byte is given the moment it would
// have finished arriving on the real line, one character time after the one
// before, so a request is complete only when its last byte would be.
void BoardSimulator::readLine(Clock::time_point now) {
  if (!pty_.isOpen()) return;
  Clock::duration ct = characterTime();
  uint8_t buffer[512];
  for (;;) {
    ssize_t n = ::read(pty_.masterFd(), buffer, sizeof buffer);
    if (n > 0) {
      for (ssize_t i = 0; i < n; ++i) {
        inboundLineFree_ = std::max(now, inboundLineFree_) + ct;
        inbound_.push_back({buffer[i], inboundLineFree_});
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    // We hold the slave open, so this only happens if the pty broke:
    // treat it as the device gone rather than poll a dead descriptor.
    closeLine(n == 0 ? "pty closed" : std::string("pty failed: ") + std::strerror(errno));
    return;
  }
}

void BoardSimulator::step(Clock::time_point now) {
  std::vector<RequestReceiver::Event> events;
  // A request is served at the moment its last byte finished arriving on the
  // simulated line, not when this thread happened to wake up: the answer's
  // schedule then follows the line's own timing, and the thread's wake-up
  // latency does not lengthen every exchange.
  auto handle = [&](Clock::time_point when) {
    for (auto& event : events) {
      if (auto* request = std::get_if<MonitorRequest>(&event)) {
        serve(*request, when);
      } else {
        auto& discard = std::get<RequestReceiver::Discard>(event);
        transcript_.add({TranscriptEntry::Kind::Discarded, std::move(discard.bytes), when, discard.reason});
      }
    }
    events.clear();
  };
  std::size_t fed = 0;
  while (!inbound_.empty() && inbound_.front().due <= now) {
    const Clock::time_point arrived = inbound_.front().due;
    receiver_.feed(inbound_.front().value, arrived, events);
    inbound_.pop_front();
    ++fed;
    handle(arrived);
  }
  receiver_.expire(now, events);
  handle(now);
  writeDue(now);

  if (options_.traffic) {
    auto due = options_.traffic->nextDue();
    if (due && *due <= now) {
      std::vector<BusEvent> busEvents;
      {
        std::lock_guard lock(mutex_);
        for (const CanFrame& frame : options_.traffic->takeDue(now)) {
          BusEvent event;
          event.frame = frame;
          event.reception = memory_.cell().receive(frame);
          busEvents.push_back(event);
        }
      }
      publishBusEvents(busEvents);
    }
  }

  bool settled = receiver_.idle() && inbound_.empty() && output_.empty();
  std::lock_guard lock(mutex_);
  if (fed > 0 || settled != settled_) {
    bytesReceived_ += fed;
    settled_ = settled;
    stateChanged_.notify_all();
  }
}

void BoardSimulator::serve(const MonitorRequest& request, Clock::time_point now) {
  std::vector<BusEvent> busEvents;
  FaultPlan::Shaped shaped;
  std::vector<uint8_t> answer;
  {
    std::lock_guard listenerLock(faultListenerMutex_);
    {
      std::lock_guard lock(mutex_);
      answer = serveRequest(request, memory_);
      collectTransmissionsLocked(busEvents);
      shaped = faults_.shape(answer);
    }
    if (faultListener_ && shaped.faulted()) faultListener_(shaped);
  }
  publishBusEvents(busEvents);
  transcript_.add({TranscriptEntry::Kind::Request, request.raw, now, ""});
  if (shaped.dropped || !pty_.isOpen()) {
    transcript_.add({TranscriptEntry::Kind::Answer, {}, now, shaped.dropped ? shaped.note : "line vanished"});
    return;
  }
  std::vector<uint8_t> sent;
  for (const auto& piece : shaped.pieces) sent.insert(sent.end(), piece.bytes.begin(), piece.bytes.end());
  uint64_t marker = addPending({TranscriptEntry::Kind::Answer, sent, {}, shaped.note});
  Clock::duration ct = characterTime();
  for (std::size_t i = 0; i < shaped.pieces.size(); ++i)
    output_.append(shaped.pieces[i].bytes, now, ct, shaped.pieces[i].delayBefore,
                   i + 1 == shaped.pieces.size() ? marker : 0);
}

void BoardSimulator::writeDue(Clock::time_point now) {
  if (!pty_.isOpen() || output_.empty()) return;
  std::vector<uint8_t> due = output_.due(now);
  if (due.empty()) return;
  ssize_t n;
  do n = ::write(pty_.masterFd(), due.data(), due.size());
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    // Full (the client does not read): wait until there is room.
    outputBlocked_ = errno == EAGAIN;
    if (!outputBlocked_) closeLine(std::string("pty failed: ") + std::strerror(errno));
    return;
  }
  outputBlocked_ = std::size_t(n) < due.size();
  for (uint64_t marker : output_.consume(std::size_t(n))) {
    auto it = pending_.find(marker);
    if (it == pending_.end()) continue;
    it->second.time = Clock::now();
    transcript_.add(std::move(it->second));
    pending_.erase(it);
  }
}

// Sleeps in ppoll() until the pty has input (or room, when output is blocked),
// a command arrives, or the next byte, resync deadline or frame is due.
void BoardSimulator::waitForWork(Clock::time_point now) {
  std::optional<Clock::time_point> next;
  auto consider = [&next](std::optional<Clock::time_point> t) {
    if (t && (!next || *t < *next)) next = t;
  };
  if (!inbound_.empty()) consider(inbound_.front().due);
  consider(receiver_.deadline());
  if (!outputBlocked_) consider(output_.nextDue());
  if (options_.traffic) consider(options_.traffic->nextDue());

  pollfd fds[2];
  nfds_t count = 0;
  fds[count++] = {wakeFd_, POLLIN, 0};
  if (pty_.isOpen()) fds[count++] = {pty_.masterFd(), short(POLLIN | (outputBlocked_ ? POLLOUT : 0)), 0};
  timespec timeout{};
  timespec* timeoutPtr = nullptr;
  if (next) {
    auto wait = std::max(Clock::duration::zero(), *next - now);
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timeout.tv_sec = ns / 1000000000;
    timeout.tv_nsec = ns % 1000000000;
    timeoutPtr = &timeout;
  }
  int ready = ppoll(fds, count, timeoutPtr, nullptr);
  if (ready <= 0) return;
  if (fds[0].revents & POLLIN) {
    uint64_t value;
    [[maybe_unused]] auto n = ::read(wakeFd_, &value, sizeof value);
  }
  if (count > 1 && (fds[1].revents & POLLOUT)) outputBlocked_ = false;
}

}  // namespace boardsim
