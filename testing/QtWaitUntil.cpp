// WaitUntil in the Qt test programs: the calling thread's events run between
// looks, as its event loop would run them, with a millisecond's sleep when
// they leave the condition false so that the wait does not take a core.
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <thread>

#include "WaitUntil.h"

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const QDeadlineTimer deadline(limit);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!condition()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
