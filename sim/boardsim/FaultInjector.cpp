#include "boardsim/FaultInjector.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace boardsim {

uint64_t FaultInjector::Counts::total() const {
  uint64_t sum = 0;
  for (uint64_t n : byKind) sum += n;
  return sum;
}

FaultInjector::FaultInjector(FaultSchedule::Settings settings, Options options)
    : options_(std::move(options)), seed_(settings.seed), schedule_(std::move(settings)) {}

FaultInjector::~FaultInjector() {
  stop();
}

void FaultInjector::start(BoardSimulator& sim) {
  if (sim_) throw std::logic_error("the fault injector was started before");
  sim_ = &sim;
  writeReport();
  sim.setFaultListener([this](const FaultPlan::Shaped& shaped) { onAnswerShaped(shaped); });
  thread_ = std::thread(&FaultInjector::run, this);
}

void FaultInjector::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
    changed_.notify_all();
  }
  thread_.join();
  // Any answer the listener is hearing of right now is counted before this returns.
  sim_->setFaultListener(nullptr);
  try {
    writeReport();
  } catch (const std::exception& e) {
    std::lock_guard lock(mutex_);
    if (status_.failure.empty()) status_.failure = e.what();
  }
}

FaultInjector::Status FaultInjector::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

bool FaultInjector::waitUntil(const std::function<bool(const Status&)>& condition, Clock::duration timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return condition(status_); });
}

std::string FaultInjector::reportLine(uint64_t seed, const Counts& counts) {
  std::string line = "chaos: seed=" + std::to_string(seed);
  for (std::size_t k = 0; k < kFaultKindCount; ++k)
    line += std::string(" ") + faultKindName(FaultKind(k)) + "=" + std::to_string(counts.byKind[k]);
  return line + " total=" + std::to_string(counts.total());
}

std::string FaultInjector::reportLine() const {
  std::lock_guard lock(mutex_);
  return reportLine(seed_, status_.counts);
}

void FaultInjector::writeReport() const {
  if (options_.reportPath.empty()) return;
  // Written beside the report and renamed over it: a reader sees the old line or the new one.
  const std::string temporary = options_.reportPath + ".tmp";
  {
    std::ofstream out(temporary, std::ios::out | std::ios::trunc);
    out << reportLine() << '\n';
    out.close();
    if (!out) throw std::runtime_error("cannot write the fault report " + temporary);
  }
  if (std::rename(temporary.c_str(), options_.reportPath.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw std::runtime_error("cannot replace the fault report " + options_.reportPath);
  }
}

// ---------------------------------------------------------------- injector thread

void FaultInjector::run() {
  try {
    while (std::optional<ScheduledFault> fault = schedule_.next()) {
      if (!sleepUntil(Clock::now() + fault->after)) break;
      if (!inject(*fault)) break;
    }
  } catch (const std::exception& e) {
    std::lock_guard lock(mutex_);
    status_.failure = e.what();
  }
  std::lock_guard lock(mutex_);
  status_.active.reset();
  status_.finished = true;
  changed_.notify_all();
}

bool FaultInjector::sleepUntil(Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_until(lock, deadline, [this] { return stopRequested_; });
}

bool FaultInjector::inject(const ScheduledFault& fault) {
  switch (fault.kind) {
    case FaultKind::Drop:
    case FaultKind::Corrupt:
    case FaultKind::Extra:
    case FaultKind::Split:
      return injectIntoAnswer(fault);
    case FaultKind::Noise:
      if (sim_->vanished()) return true;  // nobody would hear it
      sim_->sendNoise(fault.bytes);
      counted(fault, std::nullopt);
      reported(fault);
      return true;
    case FaultKind::Vanish:
    case FaultKind::NoAck:
      return injectOutage(fault);
  }
  return true;
}

void FaultInjector::arm(const ScheduledFault& fault, int answers) {
  switch (fault.kind) {
    case FaultKind::Drop:
      sim_->dropAnswers(answers);
      break;
    case FaultKind::Corrupt:
      sim_->corruptAnswers(answers);
      break;
    case FaultKind::Extra:
      sim_->addExtraBytes(answers > 0 ? fault.bytes : std::vector<uint8_t>{}, answers);
      break;
    case FaultKind::Split:
      sim_->splitAnswers(fault.pieceSize, fault.pieceDelay, answers);
      break;
    default:
      break;
  }
}

namespace {
int armedFor(FaultKind kind, const FaultPlan::Remaining& left) {
  switch (kind) {
    case FaultKind::Drop:
      return left.drop;
    case FaultKind::Corrupt:
      return left.corrupt;
    case FaultKind::Extra:
      return left.extra;
    case FaultKind::Split:
      return left.split;
    default:
      return 0;
  }
}
}  // namespace

bool FaultInjector::injectIntoAnswer(const ScheduledFault& fault) {
  {
    std::lock_guard lock(mutex_);
    status_.active = fault.kind;
    rearm_ = false;
    changed_.notify_all();
  }
  arm(fault, 1);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait_for(lock, kRecheck, [this] { return stopRequested_ || !status_.active || rearm_; });
    if (!status_.active) {  // the listener counted it
      lock.unlock();
      reported(fault);
      return true;
    }
    if (stopRequested_) {
      lock.unlock();
      arm(fault, 0);  // an answer shaped before this is counted by the listener, none after it
      endActive();
      return false;
    }
    const bool rearm = std::exchange(rearm_, false);
    lock.unlock();
    if (rearm) {
      arm(fault, 1);
      lock.lock();
      continue;
    }
    // No answer for a while (no client, or one gone quiet). Is it still armed?
    // armedFaults() waits for a listener call in progress, so none left here
    // while status_.active is still set means withdrawn (`clear`), not used.
    const int left = armedFor(fault.kind, sim_->armedFaults());
    lock.lock();
    if (left == 0 && status_.active && !rearm_) {
      status_.active.reset();
      changed_.notify_all();
      return true;
    }
  }
}

bool FaultInjector::injectOutage(const ScheduledFault& fault) {
  const bool vanish = fault.kind == FaultKind::Vanish;
  if (vanish) {
    if (sim_->vanished()) return true;  // gone already
    sim_->vanish();
  } else {
    sim_->setAcknowledged(false);
  }
  counted(fault, fault.kind);
  // Whatever happens, the outage ends: the device comes back, acknowledgement too.
  std::exception_ptr failure;
  try {
    reported(fault);
  } catch (...) {
    failure = std::current_exception();
  }
  const bool goOn = !failure && sleepUntil(Clock::now() + fault.lasting);
  if (vanish)
    sim_->reappear();  // throws when no new pty can be had: the injector gives up
  else
    sim_->setAcknowledged(true);
  endActive();
  if (failure) std::rethrow_exception(failure);
  return goOn;
}

void FaultInjector::onAnswerShaped(const FaultPlan::Shaped& shaped) {
  std::lock_guard lock(mutex_);
  if (!status_.active) return;
  bool acted = false;
  switch (*status_.active) {
    case FaultKind::Drop:
      acted = shaped.dropped;
      break;
    case FaultKind::Corrupt:
      acted = shaped.corrupted;
      break;
    case FaultKind::Extra:
      acted = shaped.extended;
      break;
    case FaultKind::Split:
      acted = shaped.split;
      if (!acted && shaped.splitUsedUp) {
        rearm_ = true;
        changed_.notify_all();
      }
      break;
    default:
      return;
  }
  if (!acted) return;
  ++status_.counts.byKind[std::size_t(*status_.active)];
  status_.active.reset();
  changed_.notify_all();
}

void FaultInjector::counted(const ScheduledFault& fault, std::optional<FaultKind> active) {
  std::lock_guard lock(mutex_);
  ++status_.counts.byKind[std::size_t(fault.kind)];
  status_.active = active;
  changed_.notify_all();
}

void FaultInjector::reported(const ScheduledFault& fault) {
  writeReport();
  if (options_.onFault) options_.onFault(fault);
}

void FaultInjector::endActive() {
  std::lock_guard lock(mutex_);
  status_.active.reset();
  changed_.notify_all();
}

}  // namespace boardsim
