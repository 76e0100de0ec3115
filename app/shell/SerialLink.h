#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

struct TCommSettings;
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

// The main window's link to the board: the serial node and the protocol node
// stacked on it, the register access thread that polls through them, and the
// connected flag. The flag and the ownership of the register lock go together:
//
//   connected       flag set,   lock free (taken only for an access), thread polling
//   not connected   flag clear, lock held by the main thread, thread waiting
//
// so every connection attempt runs holding the lock, and a good one releases
// it; a failed one keeps it. The lock is taken and released only through
// holdLock()/releaseLock(), which keep count, so the main thread never holds it
// twice nor releases it twice.
//
// Threads: everything here runs in the GUI (main) thread, which created the
// object. The register access thread reports its status, and its end
// (TCANRegAccessThread::terminated), through a wakeup of the main thread that
// it never waits for; both are handled here in the main thread. Nothing can
// block the register access thread on the main thread, so the close sequence,
// which waits for that thread while processing events, cannot deadlock.
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
  // access thread, which waits for the lock the main thread now holds; then,
  // when every property was taken and the port is to be opened, connect
  // (connectAtStart). A failing step is reported and the steps after it still
  // run, except after the nodes or the thread could not be made. Ends either
  // connected, with the lock free, or not connected, with the main thread
  // holding it.
  TLinkStartReport start(const TCommSettings& comm, PortAtStart portAtStart = PortAtStart::Open);

  bool hasNodes() const { return serial_ && protocol_; }
  TRS232Object* serialNode() const { return serial_.get(); }
  TTavarnelObject* protocolNode() const { return protocol_.get(); }

  // Property texts of the nodes; throw EAppError when the node refuses.
  void setSerialProperty(const std::string& name, const std::string& value);
  void setProtocolProperty(const std::string& name, const std::string& value);
  std::string serialProperty(const std::string& name) const;
  std::string protocolProperty(const std::string& name) const;

  // A port or speed change: takes the lock and closes the serial node if
  // connected, sets the serial node's property, reopens the serial node (and
  // the protocol node, if it never opened), marks the link connected, runs a
  // full read and releases the lock. On failure the link stays not connected
  // with the lock held, and the error is thrown after a yield of the time slice.
  void reconnectWith(const std::string& serialPropertyName, const std::string& value);

  bool connected() const { return connected_; }
  TCANRegAccessThread* regThread() const { return thread_.get(); }
  bool threadRunning() const;
  // How many times the main thread holds the register lock: 1 while not
  // connected (with a thread), 0 while connected.
  int mainLockHolds() const { return lockHolds_; }

  // The close: requests the thread's stop, makes a memory access in progress
  // return at once, releases the lock the main thread holds and clears the
  // connected flag. Without a thread it only clears the flag.
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
  // Creates the register access thread suspended, with the protocol node as
  // its memory access object and onThreadFinished() as its termination
  // handler; takes the register lock; resumes the thread, whose first pass
  // then waits for the lock.
  void startThread();
  // The start-up connection: opens the protocol node, then the serial node;
  // on success marks the link connected, runs a full read and releases the
  // lock. Throws the opening error; the main thread then keeps the lock.
  void connectAtStart();
  void holdLock();
  void releaseLock();
  void openSerialAndRead();
  // The full read after a connection: every page, in a register session.
  void readAllRegisters();

  std::unique_ptr<TRS232Object> serial_;
  std::unique_ptr<TTavarnelObject> protocol_;
  std::unique_ptr<TCANRegAccessThread> thread_;
  bool connected_ = false;
  bool protocolOpen_ = false;
  int lockHolds_ = 0;
  bool terminated_ = false;
};
