// Wakes the main thread from any thread: post() writes an eventfd that a
// QSocketNotifier in the main thread watches; the callback then runs in the
// main thread, once for any number of posts since the last run.
//
// It stands in for a queued call: nothing is allocated by the posting thread
// and handed over through Qt's event queue, whose locking ThreadSanitizer
// cannot see (Debian's Qt is not built for it), and the poster never waits.
// The eventfd write/read pair orders the poster's earlier writes before the
// callback.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

class TMainThreadWakeup : public QObject {
  Q_OBJECT

 public:
  // Create it in the main thread; the callback runs there.
  explicit TMainThreadWakeup(std::function<void()> callback, QObject* parent = nullptr);
  ~TMainThreadWakeup() override;

  // Any thread. Never blocks.
  void post();

 private:
  void drain();

  int fd_;
  QSocketNotifier* notifier_;
  std::function<void()> callback_;
};
