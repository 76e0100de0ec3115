#pragma once

#include <QString>
#include <QWidget>

#include <chrono>

class QTimer;

// The first panel of the main window's status bar, where every error of the
// program ends: red with "ERROR: " and the message while it holds a message,
// green with "Connection OK" when its text is empty. Text is written 5 pixels
// right of and 2 pixels below the panel's top-left corner. The panel is
// kWidth wide and widens to its text, up to the width of the status bar that
// holds it (the hint panel beside it gives way), so a message is never cut
// while there is room. The whole message is also the panel's tool tip; it is
// shown as plain text (a file name may hold "<", "&"). Before the first
// status of a connection the panel shows a notice ("Connecting...") in the
// window's colours, neither an error nor OK.
//
// An error given with setText (a window's, a file's, the link's) stays until
// the person's next action (a key or mouse button pressed in the program, a
// menu command: newAction), so that a good polling pass does not take it away
// unread; a pass's own error (showStatus) does not wait for one. Either way,
// an error stays on the panel for at least kErrorHoldTime before a polling
// pass's good status (showStatus with an empty text) turns it green: the
// register access thread may report a failed pass and the good pass after it
// in one go, and a good pass follows within milliseconds of any error while
// the link runs, so without the hold a person would never see the red panel.
// Two seconds is the time a short notice stays up, long enough to see the
// colour and read the start of the message (the whole message is the tool tip).
//
// Threads: the widget belongs to the GUI thread. showMessageQueued() may be
// called from any thread; it posts the message and never waits for the GUI
// thread, so a worker that the GUI thread is waiting for cannot deadlock on it.
class TErrorDisplay : public QWidget {
  Q_OBJECT
  // What the panel shows, for the test driver, which reads a control's text
  // without knowing its class (app/testdriver).
  Q_PROPERTY(QString shownText READ displayText)

 public:
  static constexpr int kWidth = 300;
  static constexpr int kHeight = 24;
  static constexpr std::chrono::milliseconds kErrorHoldTime{2000};

  explicit TErrorDisplay(QWidget* parent = nullptr);

  static const QString ConnectingText;

  QString text() const { return text_; }
  // What the panel shows: "ERROR: <text>", the notice, or "Connection OK".
  QString displayText() const;
  bool showsError() const { return !text_.isEmpty(); }

  QSize sizeHint() const override;

  // Posts the text to the GUI thread, from any thread, without waiting.
  void showMessageQueued(const QString& text);

  // A good status waits for the hold of the error on the panel to end.
  bool clearPending() const { return clearPending_; }

 signals:
  // Every error message given to the panel, a repeated one included (the
  // panel itself changes only when the text does). GUI thread.
  void errorReported(const QString& message);
  // The panel's text changed: to an error, to another error, or (empty) back
  // to green "Connection OK". GUI thread.
  void textChanged(const QString& text);

 public slots:
  // Sets the text and repaints at once (the error must be visible even when the
  // GUI thread goes on with long work). An empty text means no error. An
  // error starts its hold; a pending good status is dropped.
  void setText(const QString& text);
  void clear() { setText(QString()); }
  // A neutral notice in place of "Connection OK" until the next text or status.
  void showNotice(const QString& notice);
  // The person did something: an error given with setText may now give way
  // to a good status.
  void newAction();
  // A polling pass's status: an error is shown as setText shows it; an empty
  // status turns the panel green at once, or when the error's hold ends.
  void showStatus(const QString& status);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void apply(const QString& text);
  void holdEnded();
  // The width for the text shown, within kWidth and the status bar's width.
  void fitText();
  void clearNotice();
  bool eventFilter(QObject* watched, QEvent* event) override;

  QString text_;
  QString notice_;
  bool waitsForAction_ = false;  // the error came with setText and no action followed yet
  QTimer* hold_;                 // single shot, running while an error is held
  bool clearPending_ = false;
};
