#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

struct TLinkSettings;
struct TRegisterJobOutcome;
class TRegisterSession;
class TCANRegAccessThread;
class TRS232Object;
class TTavarnelObject;

// What the start-up of the link did, for the main window to show.
struct TLinkStartReport {
  // A comm-port or speed entry that the start-up settles: only when the serial
  // node took the text it comes from (and no step failed before it), and then
  // the entries show `entry`, none of them when it is unset. Otherwise the
  // entries stay as they are.
  struct MenuChoice {
    bool settled = false;
    std::optional<int> entry;  // 1-3, or 4800, 9600, 19200
  };

  QStringList errors;  // in the order they happened
  MenuChoice port;
  MenuChoice speed;
  // What an access waits at most for an answer, from the protocol node's
  // "TimeOut" (a negative or huge one counts as the longest); unset when the
  // node refused the stored text.
  std::optional<std::chrono::milliseconds> timeOut;
  bool connected = false;
};

// The link to the board, of the main window and of vorelan-slcan: the serial
// node and the protocol node stacked on it, the register access thread that
// polls through them, and the connected flag. The flag and the thread's polling gate go together:
//
//   connected       flag set,   the thread polls (and runs jobs)
//   not connected   flag clear, the thread's gate shut: it only runs jobs
//
// Nothing here waits on the board. The start-up opens the nodes (which only
// opens the device) and hands the full read to the thread as its first job;
// a port or speed change runs on the thread as a task (close, set, open,
// read), after the pass or job in progress, and reports back when done.
//
// Threads: the object lives in the GUI (main) thread, which created it. The
// nodes are used by the GUI thread until the thread starts and after it has
// ended, and in between only by the register access thread (its passes, jobs
// and the link-change tasks), one step at a time: serial_, protocol_,
// protocolOpen_ and serialOpen_ pass between them through the thread's job
// queue. The thread's reports (status, outcomes, its end) reach the GUI thread
// through a wakeup that it never waits for, so the close sequence, which waits
// for that thread while processing events, cannot deadlock.
class TSerialLink : public QObject {
  Q_OBJECT

 public:
  explicit TSerialLink(QObject* parent = nullptr);
  // Stops the thread and releases the nodes if the close sequence did not.
  ~TSerialLink() override;

  enum class PortAtStart { Open, StayClosed };
  // The start-up, from the communication settings, in this order: create the
  // serial node, then the protocol node (without them there is no link and no
  // thread for the whole run); hand them "CommPort", "Settings" and
  // "TimeOut"; stack the protocol node on the serial node; start the register
  // access thread, its polling gate shut; then, when every property was taken and the port is to be opened, connect
  // (connectAtStart). A failing step is reported and the steps after it still
  // run, except after the nodes or the thread could not be made. Ends either
  // connected, with the full read handed to the thread, or not connected.
  TLinkStartReport start(const TLinkSettings& comm, PortAtStart portAtStart = PortAtStart::Open);

  bool hasNodes() const { return serial_ && protocol_; }
  TRS232Object* serialNode() const { return serial_.get(); }
  TTavarnelObject* protocolNode() const { return protocol_.get(); }

  // Property texts of the nodes; throw EAppError when the node refuses.
  void setSerialProperty(const std::string& name, const std::string& value);
  void setProtocolProperty(const std::string& name, const std::string& value);
  std::string serialProperty(const std::string& name) const;
  std::string protocolProperty(const std::string& name) const;

  // A port or speed change: clears the connected flag and shuts the polling
  // gate at once, then, on the register access thread after what it is
  // doing: closes the serial node if open, sets its property, opens the
  // protocol node if it never opened, opens the serial node, opens the gate
  // and reads every page. Returns at once; linkChanged() tells the outcome.
  void reconnectWith(const std::string& serialPropertyName, const std::string& value);
  // Link changes handed to the thread whose outcome has not come back.
  int changesPending() const { return changesPending_; }

  bool connected() const { return connected_; }
  TCANRegAccessThread* regThread() const { return thread_.get(); }
  bool threadRunning() const;

  // The close: requests the thread's stop (a memory access in progress
  // returns at once, jobs not begun are cancelled) and clears the connected
  // flag. Without a thread it only clears the flag.
  void requestStop();
  // Processes the main thread's events until the termination handler has run
  // or `limit` has passed. True when the handler ran (or there was no thread).
  bool waitForTermination(std::chrono::milliseconds limit);
  bool terminated() const { return terminated_; }
  // Gives up a thread that did not end in time: it and the nodes it uses are
  // left to the process's exit rather than destroyed under its feet.
  void abandon();

 signals:
  // A polling pass's status while connected: empty after a good pass, else
  // its error. GUI thread.
  void statusReport(const QString& status);
  // A port or speed change has ended: connected, or not with `error` (GUI thread).
  void linkChanged(const QString& error);
  // The termination handler closed both nodes; they are still there to be
  // asked for their properties (the settings are saved from them now).
  void nodesClosed();
  // The termination handler's last step: thread and nodes are released.
  void terminatedSignal();

 private slots:
  // The termination handler, run in the main thread once the thread's body
  // has returned: closes the protocol node, then the serial node; when both
  // closed, emits nodesClosed(); in every case releases the thread and both
  // nodes (the serial node first, since its thread calls into the protocol
  // node's wrapper).
  void onThreadFinished();

 private:
  // Creates the serial node, then the protocol node. Throws EAppError (the
  // node's message); no node is kept after a failure.
  void createNodes();
  // The protocol node's "TimeOut" as an access waits for it.
  std::chrono::milliseconds answerTimeOut() const;
  // Stacks the protocol node on the serial node.
  void stackNodes();
  // Creates the register access thread with the protocol node as its memory
  // access object and onThreadFinished() as its termination handler, and
  // starts it with its polling gate shut.
  void startThread();
  // The start-up connection: opens the protocol node, then the serial node;
  // on success marks the link connected and hands the thread the full read,
  // after which it polls. Throws the opening error.
  void connectAtStart();
  // Runs on the register access thread: a link change's node steps.
  void changeLink(TRegisterSession& session, const std::string& name, const std::string& value);
  void linkChangeEnded(const TRegisterJobOutcome& outcome);

  std::unique_ptr<TRS232Object> serial_;
  std::unique_ptr<TTavarnelObject> protocol_;
  std::unique_ptr<TCANRegAccessThread> thread_;
  bool connected_ = false;  // GUI thread
  bool protocolOpen_ = false;
  bool serialOpen_ = false;
  int changesPending_ = 0;  // GUI thread
  bool terminated_ = false;
};
