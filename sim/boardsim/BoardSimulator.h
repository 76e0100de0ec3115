#pragma once

#include "boardsim/CanCell.h"
#include "boardsim/Clock.h"
#include "boardsim/FaultPlan.h"
#include "boardsim/OutputQueue.h"
#include "boardsim/PseudoTerminal.h"
#include "boardsim/RequestReceiver.h"
#include "boardsim/TargetMemory.h"
#include "boardsim/TrafficSource.h"
#include "boardsim/Transcript.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace boardsim {

// The evaluation board behind a pseudo-terminal: the monitor answering the
// frame protocol on the line, the target memory with the CAN cell, and a
// simulated CAN bus feeding the cell.
//
//   BoardSimulator::Options options;
//   options.instant = true;
//   BoardSimulator sim(options);
//   sim.start();
//   int fd = open(sim.slavePath().c_str(), O_RDWR | O_NOCTTY);
//   ... write 13 00 5A 06, read 06 + 6 bytes ...
//   sim.transcript().waitForEntries(2, 1s);
//
// Threads: start() creates one simulator thread. It owns the pty, the request
// receiver, the output queue and the traffic source, and sleeps in ppoll() on
// the pty master and a wake-up eventfd until input, a due byte or frame, or a
// command arrives; it never spins. Every public member may be called from any
// thread. Calls that touch the pty (vanish, reappear, sendNoise) are handed to
// the simulator thread and wait for it; the others take mutex_ briefly
// (armedFaults and setFaultListener take faultListenerMutex_ first).
class BoardSimulator {
 public:
  struct BusEvent {
    enum class Kind { Received, Transmitted };
    Kind kind = Kind::Received;
    CanFrame frame;
    CanCell::ReceiveResult reception;  // for Received
    int buffer = 0;                    // for Transmitted
    bool acknowledged = false;         // for Transmitted
  };
  using BusListener = std::function<void(const BusEvent&)>;

  struct TransmittedFrame {
    Clock::time_point time;
    CanFrame frame;
    int buffer = 0;
    bool acknowledged = false;
  };

  struct Options {
    bool instant = false;  // answer at once instead of at the line's speed
    // Quiet line time after which a started, incomplete request is given up.
    Clock::duration resyncGap = std::chrono::milliseconds(50);
    std::string linkPath;                    // also make this a symbolic link to the slave
    std::shared_ptr<TrafficSource> traffic;  // frames arriving on the bus, if any
    bool acknowledged = true;                // false: nobody acknowledges what the cell sends
    std::string tracePath;                   // write the transcript to this file
    std::string txLogPath;                   // log transmitted frames here, candump format
    std::string busInterface = "sim0";       // interface name in the candump log
    // Runs for each frame on the bus, on the thread that put it there (the
    // simulator thread for traffic, the caller for injectFrame/writeMemory),
    // with no lock held: it may call this object, except start, stop,
    // vanish, reappear and sendNoise (they wait for the simulator thread).
    BusListener onBusEvent;
    // Runs for each transcript entry on the simulator thread, under the
    // transcript's lock: it must not call the transcript.
    Transcript::Sink onTranscript;
  };

  BoardSimulator();
  explicit BoardSimulator(Options options);
  ~BoardSimulator();  // stops
  BoardSimulator(const BoardSimulator&) = delete;
  BoardSimulator& operator=(const BoardSimulator&) = delete;

  // Opens the pty (and the link and files), starts the simulator thread.
  // Throws std::runtime_error with a clear message when something cannot be opened.
  void start();
  // Stops the thread, closes the pty, removes the link. Always completes; idempotent.
  void stop();
  bool running() const;

  // The /dev/pts/N a client opens; empty while vanished or stopped.
  std::string slavePath() const;
  const std::string& linkPath() const { return options_.linkPath; }
  // When the simulation started (origin of the trace file's times).
  Clock::time_point origin() const { return origin_; }

  // --- transcript and line state
  Transcript& transcript() { return transcript_; }
  // Bytes the monitor has taken from the line since start.
  std::size_t bytesReceived() const;
  // Waits until at least `bytes` bytes were taken from the line and the line
  // has settled: no partial request, no unreported discard, no answer still
  // going out. (After garbage this includes the resync gap.)
  bool waitUntilSettled(std::size_t bytes, Clock::duration timeout) const;

  // --- target memory and CAN cell
  // As the monitor reads and writes: CAN register semantics apply (paging,
  // flags cleared by writing 0, Data7 transmits, ...).
  std::vector<uint8_t> readMemory(uint16_t address, std::size_t count) const;
  void writeMemory(uint16_t address, const std::vector<uint8_t>& bytes);
  // Raw register storage, any page, no side effects. Page ignored for 0x5A-0x5F.
  uint8_t peekRegister(int page, uint16_t address) const;
  void pokeRegister(int page, uint16_t address, uint8_t value);

  // --- bus
  CanCell::ReceiveResult injectFrame(const CanFrame& frame);
  void setAcknowledged(bool acknowledged);
  std::vector<TransmittedFrame> transmittedFrames() const;
  void clearTransmittedFrames();

  // --- faults (see FaultPlan)
  void dropAnswers(int n);
  void corruptAnswers(int n);
  void addExtraBytes(std::vector<uint8_t> bytes, int answers = 1);
  void splitAnswers(std::size_t pieceSize, Clock::duration delay, int answers = 1);
  void clearFaults();
  // How many answers each armed fault will still act on. Waits while the
  // simulator thread is between shaping an answer and telling the fault
  // listener, so what it returns and what the listener has heard agree.
  FaultPlan::Remaining armedFaults() const;
  // Hears of every answer that an armed fault acted on (or used up without
  // effect: FaultPlan::Shaped::splitUsedUp), once the plan has been updated
  // and before the answer goes out. Runs on the simulator thread under
  // faultListenerMutex_ only: it may call the fault setters above, not
  // armedFaults, setFaultListener, vanish, reappear, sendNoise, start or stop.
  // One listener at a time; once this returns, the previous one is not
  // running and never runs again. Null removes it.
  using FaultListener = std::function<void(const FaultPlan::Shaped&)>;
  void setFaultListener(FaultListener listener);
  // Puts these bytes on the line now (behind any answer going out).
  void sendNoise(const std::vector<uint8_t>& bytes);
  // The device goes away: the pty is closed (a client sees a hang-up) and the link removed.
  void vanish();
  // A new pty comes up (the link points to it); returns its slave path. Throws like start().
  std::string reappear();
  bool vanished() const;

 private:
  void run();  // the simulator thread's body
  void runCommands(std::deque<std::function<void()>>& commands);
  void runOnSimulatorThread(const std::function<void()>& command);
  void wake();
  void readLine(Clock::time_point now);
  void step(Clock::time_point now);
  void serve(const MonitorRequest& request, Clock::time_point now);
  void writeDue(Clock::time_point now);
  void waitForWork(Clock::time_point now);
  void closeLine(const std::string& why);
  void openLine();
  Clock::duration characterTime() const;
  uint64_t addPending(TranscriptEntry entry);
  // Under mutex_: moves the cell's transmissions to the log and into events.
  void collectTransmissionsLocked(std::vector<BusEvent>& events);
  void publishBusEvents(const std::vector<BusEvent>& events) const;

  Options options_;
  Clock::time_point origin_{};
  Transcript transcript_;

  // Serialises start, stop, vanish, reappear and sendNoise between caller
  // threads, so that none of them runs on the thread-owned state while
  // another one hands it over.
  std::mutex lifecycleMutex_;

  // Guards faultListener_. serve() holds it from shaping an answer until the
  // listener has run, so armedFaults() never sees a fault used up that the
  // listener has not heard of yet. Taken before mutex_, never after it.
  mutable std::mutex faultListenerMutex_;
  FaultListener faultListener_;

  // mutex_ guards everything from here to the thread-owned block, and is
  // the one lock of the target state. stateChanged_ is signalled when
  // bytesReceived_/settled_ change and when commands complete.
  mutable std::mutex mutex_;
  mutable std::condition_variable stateChanged_;
  TargetMemory memory_;
  FaultPlan faults_;
  std::vector<TransmittedFrame> transmitted_;
  std::ofstream txLog_;
  std::deque<std::function<void()>> commands_;
  uint64_t commandsPosted_ = 0;
  uint64_t commandsDone_ = 0;
  bool stopRequested_ = false;
  bool threadRunning_ = false;
  std::thread::id threadId_;
  std::size_t bytesReceived_ = 0;
  bool settled_ = true;
  std::string slavePathCopy_;
  bool vanished_ = false;

  // Written by start()/stop() only.
  std::thread thread_;
  int wakeFd_ = -1;
  std::ofstream traceFile_;

  // Owned by the simulator thread while it runs (by the caller of
  // start/stop/vanish/reappear otherwise).
  PseudoTerminal pty_;
  RequestReceiver receiver_;
  struct InboundByte {
    uint8_t value;
    Clock::time_point due;  // when it has fully arrived over the simulated line
  };
  std::deque<InboundByte> inbound_;
  Clock::time_point inboundLineFree_{};
  OutputQueue output_;
  bool outputBlocked_ = false;                   // the pty is full: wait for POLLOUT
  std::map<uint64_t, TranscriptEntry> pending_;  // entries completed when their last byte goes out
  uint64_t nextMarker_ = 1;
};

}  // namespace boardsim
