#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C in the terminal, the session
// ending) into an orderly close of the program: the main window closes as if
// the user had chosen Exit, so positions and settings are saved. A second
// signal of the same kind ends the program at once, as without this object.
//
// Threads: the signal handler only writes one byte to a socket; the callback
// runs in the GUI thread, which reads it through a QSocketNotifier. One
// instance per program, created in the GUI thread.
class TQuitSignals : public QObject {
  Q_OBJECT

 public:
  explicit TQuitSignals(std::function<void()> onQuit, QObject* parent = nullptr);
  ~TQuitSignals() override;  // restores the default actions

 private:
  void readSignal();

  std::function<void()> onQuit_;
  QSocketNotifier* notifier_ = nullptr;
};
