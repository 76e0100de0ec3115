// TSlcanBridge: the SLCAN commands carried out on the board's CAN cell
// through the register access thread, and the frames the cell receives
// handed out as SLCAN lines.
//
// Commands are taken one at a time, in the order they came: one that needs
// the board is handed to the thread as a task, and the lines after it wait
// (Busy) until its outcome is back and answered, so answers keep the order
// of the commands. Received frames go out as they arrive, between answers.
//
//   closed --O--> open (frames out, t/r sent)    --C--> closed
//          --L--> listen-only (frames out only)  --C--> closed
//
// S, M, m and Z only while closed; they write nothing until O or L: O writes
// the bit timing (the cell stopped for it while it runs, unless it holds it
// already), the filters when M or m was given, and CSR RUN. Every refusal,
// every command while the link is down, and every command whose register
// accesses failed is answered BEL, with nothing (more) written.
//
// Threads: the GUI thread (the one with the event loop, where the register
// access thread delivers outcomes and frames) only.
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "BitTiming.h"
#include "RegisterJob.h"
#include "SlcanCell.h"
#include "SlcanProtocol.h"
#include "canregthread.h"

class TSlcanBridge : public QObject {
  Q_OBJECT

 public:
  struct Options {
    int clockMHz = 8;  // the board's CPU clock, for S0-S8
    int txBuffer = 1;  // the message buffer t and r send from, 1-3
  };
  // Bytes for the client.
  using Output = std::function<void(const std::string& bytes)>;
  // A line for the person running the bridge: a rate refused, a frame not sent.
  using Message = std::function<void(const std::string& text)>;
  // The link works: connected and the last polling pass went through.
  using LinkUp = std::function<bool()>;

  enum class State { Closed, Open, ListenOnly };

  TSlcanBridge(TCANRegAccessThread& registers, Options options, LinkUp linkUp, Output output, Message message,
               QObject* parent = nullptr);
  ~TSlcanBridge() override;

  // The client's bytes. Complete lines are carried out in order now, or
  // after the command with the board.
  void Feed(std::string_view bytes);
  // A command is with the board: the caller holds the client's next bytes back.
  bool Busy() const { return busy_; }
  State state() const { return state_; }

  // The end of the bridge: the cell is stopped if an O or L of this bridge
  // started it (and no C has since), then `done` runs; at once when there
  // is nothing to stop or no thread any more.
  void Finish(std::function<void()> done);

 signals:
  // The command with the board has been answered and no line waits: the
  // client's bytes may come again.
  void ready();

 private:
  void Pump();
  void Execute(const Slcan::LineReader::Input& input);
  void Answer(const std::string& text) { output_(text); }
  void Refuse(const std::string& why = {});
  // Hands `task` to the thread; `done` answers once its outcome is back.
  void Run(TCANRegAccessThread::Task task, std::function<void(const TRegisterJobOutcome&)> done);

  void OpenChannel(State mode);
  void CloseChannel();
  // Clears RUN when this bridge set it.
  TCANRegAccessThread::Task StopTask() const;
  void SendFrame(const Slcan::Frame& frame);
  void ReportStatus();
  void Receive(const TReception& reception);
  void SetReceiving(bool on);

  QPointer<TCANRegAccessThread> registers_;
  const Options options_;
  LinkUp linkUp_;
  Output output_;
  Message message_;
  int receiver_ = 0;

  Slcan::LineReader reader_;
  std::deque<Slcan::LineReader::Input> lines_;  // waiting while Busy
  bool busy_ = false;

  State state_ = State::Closed;
  std::optional<BitTiming::Setting> timing_;  // of the last S
  SlcanCell::Acceptance acceptance_;
  bool acceptanceGiven_ = false;  // M or m was given: O and L write the filters
  bool timestamps_ = false;
  // This bridge's O or L set RUN, and no C has cleared it since. Read and
  // written by its tasks only, on the access thread, one after the other.
  std::shared_ptr<std::atomic<bool>> cellStarted_ = std::make_shared<std::atomic<bool>>(false);
  bool finished_ = false;     // Finish was called: nothing more is taken
  bool overrunSeen_ = false;  // since the last F
};
