// The files named on the command line, opened in the main window once it is
// on the screen: a register file's load then shows its progress text where
// the user sees it, instead of running before the window has been drawn.
//
// Threads: GUI thread only.
#pragma once

#include <QObject>
#include <QStringList>

class QTimer;
class TMainFrm;

class TCommandLineFiles : public QObject {
  Q_OBJECT

 public:
  // The longest wait for the window to be drawn (a window system may never
  // expose a minimised window); the files open then all the same.
  static constexpr int kLongestWaitMs = 3000;

  // Opens `paths` with TMainFrm::openFiles once the shown window has been
  // exposed, and writes the message of each file that failed to the standard
  // error output. Does nothing for an empty list. The object is a child of
  // the main window and deletes itself once the files have been opened.
  static void openWhenShown(TMainFrm& mainFrm, const QStringList& paths);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TCommandLineFiles(TMainFrm& mainFrm, const QStringList& paths);
  // Queued after the expose, so the window's first paint comes first.
  void openSoon();
  void open();

  TMainFrm& mainFrm_;
  QStringList paths_;
  QTimer* longestWait_;
  bool opening_ = false;
};
