#include "MainThreadWakeup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cstdint>
#include <stdexcept>

TMainThreadWakeup::TMainThreadWakeup(std::function<void()> callback, QObject* parent)
    : QObject(parent), fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), callback_(std::move(callback)) {
  if (fd_ < 0) throw std::runtime_error("Cannot create an event descriptor for the main thread");
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TMainThreadWakeup::drain);
}

TMainThreadWakeup::~TMainThreadWakeup() {
  delete notifier_;
  close(fd_);
}

void TMainThreadWakeup::post() {
  const std::uint64_t one = 1;
  // A full counter (2^64 - 2 posts unread) cannot happen; EAGAIN would only mean one is pending.
  [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void TMainThreadWakeup::drain() {
  std::uint64_t count = 0;
  if (read(fd_, &count, sizeof count) != sizeof count) return;
  if (callback_) callback_();
}
