#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

#include "TestDriverCommands.h"
#include "TestDriverPlugin.h"

class QLocalServer;
class QLocalSocket;

// The end-to-end tests' hands and eyes inside the running program: a local
// socket on which a test sends one command per line and reads one answer per
// line (the commands: TestDriverCommands.h). Clicks and keys go through the
// window system's event path (QTest on the program's own windows), so they
// reach what a person's would: a hidden, disabled or covered control, or a
// window behind a modal dialog, does not take them (the command says why).
//
// A plugin of its own, which the program loads only when the environment
// variable VORELAN_TEST_DRIVER names the socket's path (TestDriverPlugin.h):
// without it nothing here is even loaded.
//
// Threat model: the socket lets its client do whatever the user could do in
// the program's windows, and write screenshots wherever the user may write.
// Whoever can set the program's environment can already run code as that
// user, so the variable grants nothing new; what must not happen is that
// another user reaches the socket. The driver therefore listens only when the
// socket's folder belongs to the user and is closed to everybody else (mode
// 0700, as XDG_RUNTIME_DIR and the tests' private folders are), creates the
// socket for the user only, and serves one client at a time. Whatever is at
// the path already is left alone unless it is a socket of the user's that
// nobody listens on (one a crashed run left): never a file, nor a socket
// another program serves. A refusal is written to the standard error output
// and the program runs without it.
//
// Protocol: a request is fields separated by tabs, ending with a line feed,
// of at most kMaxRequestLength bytes: a longer one is answered with an error
// and the client is cut off.
// The answer is "ok", or "ok" and a tab and a text, or "error", a tab and a
// message; in texts a backslash, line feed, carriage return and tab are
// written as \\, \n, \r and \t, so every answer is one line.
//
// Order: requests run one after the other, each from a queued call (never
// inside the socket's readyRead). A command that gives input answers once its
// input has been handled, or once the program waits for the person (its event
// loop is about to block, as in a modal dialog's exec() or an open menu),
// whichever comes first; the next request then runs inside that nested loop,
// as a person's next click would.
//
// Threads: GUI thread only.
class TTestDriver : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kEnvironmentVariable = TestDriverPlugin::kEnvironmentVariable;
  static constexpr qsizetype kMaxRequestLength = 64 * 1024;

  // A listening driver when the variable is set and its folder is private;
  // null otherwise (with the reason on the standard error output when the
  // variable is set).
  static std::unique_ptr<TTestDriver> fromEnvironment();

  // Why the driver may not listen at `socketPath`, or empty when it may.
  static QString refusalFor(const QString& socketPath);

  ~TTestDriver() override;

  // A reply as its answer line, without the line end.
  static QString answerLine(const TestDriverCommands::Reply& reply);
  static QString escape(const QString& text);

  // Moves the complete request lines at the front of `pending` (the bytes
  // read so far) to `requests`; false when a line is, or the bytes left
  // already are, longer than kMaxRequestLength.
  static bool takeRequests(QByteArray& pending, std::deque<QString>& requests);

 private:
  // The answer of a command whose input is under way.
  struct PendingAnswer {
    QString line;
    bool sent = false;
  };

  TTestDriver();
  bool listen(const QString& socketPath, QString* error);
  void acceptClient();
  void readRequests();
  void schedule();
  void runQueued();
  void execute(const QString& request);
  void send(PendingAnswer& answer);
  // The event loop is about to wait: the input under way now waits for the person.
  void programWaits();

  QLocalServer* server_;
  QLocalSocket* client_ = nullptr;  // the one client served, or null
  QByteArray partial_;              // the start of a request line not yet complete
  std::deque<QString> requests_;    // complete requests not yet run
  bool scheduled_ = false;          // a queued call to runQueued() is on its way
  // Input is being given and has not reached a wait for the person: later
  // requests stay queued.
  bool inputUnderWay_ = false;
  std::vector<PendingAnswer*> underWay_;  // the answers of the inputs running, outermost first
};
