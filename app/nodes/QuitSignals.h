#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C in the terminal, the session
// ending) into an orderly close of the program: vorelan's main window closes
// as if the user had chosen Exit, so positions and settings are saved, and
// vorelan-slcan puts the cell back as it found it before it ends. A second
// signal of the same kind ends the program at once, as without this object.
//
// Catching starts with catchSignals(), first thing in main(): a signal that
// arrives during start-up (before the window exists, or while it waits for
// the board) is kept, and closes the program as soon as the event loop runs.
// A TQuitSignals object, made once the main window exists, hands the kept
// signal and every later one to its callback.
//
// Threads: the signal handler only writes one byte to a socket; the callback
// runs in the GUI thread, which reads it through a QSocketNotifier. One
// instance per program, created in the GUI thread.
class TQuitSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers. Main thread, before any other thread starts; a
  // second call does nothing.
  static void catchSignals();

  // Catches the signals if catchSignals() has not, and calls `onQuit` in the
  // event loop for each one, including one that came before.
  explicit TQuitSignals(std::function<void()> onQuit, QObject* parent = nullptr);
  ~TQuitSignals() override;  // restores the default actions

 private:
  void readSignal();

  std::function<void()> onQuit_;
  QSocketNotifier* notifier_ = nullptr;
};
