// Faults under load: the main window with its real tool windows, nodes and
// register access thread, against the board simulator behind a pty at the
// line's real pace, polling the registers, tracing the frames that arrive on
// the bus and sending a counter frame every second from the Transmission
// window, while the simulator's fault injector goes through every fault kind
// at random (no answer, a corrupted answer, extra bytes, an answer in pieces,
// noise, the board vanishing and coming back, no acknowledgement).
//
// Outcomes, not durations: the program neither hangs (a watchdog on the GUI
// thread's event loop aborts after 30 s without an event) nor crashes; every
// fault kind was injected; every fault that loses an answer (no answer, a
// corrupted one, the board gone) put an error on the error display; once the
// faults stop the display is green "Connection OK" again, and polling,
// tracing and the periodic transmission go on; every traced line is a frame
// that the bus carried, and the counter never skips a value on the bus (a
// frame is counted only once it went out); the close ends in order. The
// figures (faults by kind, errors by message, red spells and recoveries,
// frames sent, memory over the run) are printed.
//
// The run lasts VORELAN_LOAD_SECONDS (150 by default) and the faults come
// from the seed VORELAN_LOAD_SEED (fixed by default, so every run injects
// the same sequence of faults); both are printed.
#include "ErrorDisplay.h"
#include "ErrorDisplayLog.h"
#include "GuiWatchdog.h"
#include "HexEdit.h"
#include "MainFrm.h"
#include "NumberEntry.h"
#include "ProcessMemory.h"
#include "SerialLink.h"
#include "SettingsStore.h"
#include "ShellTestSupport.h"
#include "TraceFrm.h"
#include "TransmitFrm.h"
#include "boardsim/FaultInjector.h"
#include "boardsim/TrafficGenerator.h"
#include "canregthread.h"

#include <QDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace shelltest;
using namespace std::chrono_literals;

namespace {

// A seed whose first twelve faults already take in every kind.
constexpr std::uint64_t kDefaultSeed = 1208;
constexpr int kDefaultSeconds = 150;
// A fault every second on average, each from half to one and a half seconds
// after the end of the one before; an outage lasts 0.5-3 s.
constexpr auto kMeanFaultInterval = 1000ms;
// The simulated board's traffic: ten frames a second, well within what the
// register access thread's passes take off the cell under faults.
constexpr double kFramesPerSecond = 10.0;
// Generous bounds for outcomes to come about (never a measured duration).
constexpr std::chrono::milliseconds kOutcomeWait{60000};

std::uint64_t numberFromEnvironment(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 0);
  if (*end != '\0') {
    ADD_FAILURE() << name << "=\"" << text << "\" is not a number; using " << fallback;
    return fallback;
  }
  return value;
}

// The board with traffic on its bus, at the line's pace, reached through a
// link that VORELAN_COM1 names (the link follows the board when it vanishes
// and comes back).
class BusyBoard {
 public:
  BusyBoard() {
    boardsim::BoardSimulator::Options options;
    options.instant = false;
    options.linkPath = folder_.filePath(QStringLiteral("board")).toStdString();
    boardsim::TrafficGenerator::Settings traffic;
    traffic.rate = kFramesPerSecond;
    generator_ = std::make_shared<boardsim::TrafficGenerator>(traffic);
    options.traffic = generator_;
    sim = std::make_unique<boardsim::BoardSimulator>(options);
    sim->start();
    setenv("VORELAN_COM1", options.linkPath.c_str(), 1);
  }
  ~BusyBoard() {
    sim->stop();
    unsetenv("VORELAN_COM1");
  }

  // Whether a trace line is a frame the traffic put on the bus: the
  // generator numbers its frames in their data bytes (least significant
  // first) and takes the identifiers in turn, so identifier and data agree.
  bool carried(const TTraceLine& line) const {
    const QStringList bytes = line.data.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (line.dlc != QLatin1String("8") || bytes.size() != 8) return false;
    std::uint64_t number = 0;
    for (int i = 7; i >= 0; --i) {
      bool ok = false;
      number = number << 8 | bytes[i].toUInt(&ok, 16);
      if (!ok) return false;
    }
    const boardsim::CanFrame frame = generator_->frame(number);
    return line.id == QStringLiteral("%1").arg(frame.id, 3, 16, QLatin1Char('0')).toUpper();
  }

  // Bytes the board has taken from the line: grows while the program polls.
  std::size_t bytesReceived() const { return sim->bytesReceived(); }
  // The simulator keeps every request and answer in its transcript, which
  // this long run does not need: dropped at each memory sample, so that the
  // figures show the program's memory rather than that record's growth.
  void forgetTranscript() { sim->transcript().clear(); }

  std::unique_ptr<boardsim::BoardSimulator> sim;

 private:
  QTemporaryDir folder_;
  std::shared_ptr<boardsim::TrafficGenerator> generator_;
};

void printMemory(const char* when, const ProcessMemory& memory) {
  std::printf("load: memory %-5s VmRSS %8llu kB   VmHWM %8llu kB   heap %8llu kB\n", when,
              static_cast<unsigned long long>(memory.residentKb),
              static_cast<unsigned long long>(memory.peakResidentKb), static_cast<unsigned long long>(memory.heapKb));
  std::fflush(stdout);
}

const TTraceFrm& traceWindow(TMainFrm& main) {
  return *dynamic_cast<TTraceFrm*>(main.toolWindow(QStringLiteral("TraceFrm")));
}

std::size_t traceLines(TMainFrm& main) {
  return traceWindow(main).Lines().lines().size();
}

TTransmitFrm& transmitWindow(TMainFrm& main) {
  return *dynamic_cast<TTransmitFrm*>(main.toolWindow(QStringLiteral("TransmitFrm")));
}

// The Transmission window as the test sets it up: the Auto page, automatic
// repetition every second from buffer 3 (buffers 1 and 2 stay free for
// reception), a counter from 0 up over all eight data bytes.
void storeTransmissionSettings() {
  TSettingsStore key("Transmission");
  key.writeInt("Automatic", 1);
  key.writeInt("Periodic", 1);
  key.writeInt("Period", 1);
  key.writeInt("BuffNum", 3);
  key.writeInt("CounterMode", 1);
  key.writeInt("CntMinHigh", 0);
  key.writeInt("CntMinLow", 0);
  key.writeInt("CntMaxHigh", -1);
  key.writeInt("CntMaxLow", -1);
  key.writeInt("ShiftRight", 0);
}

constexpr std::uint16_t kTransmittedId = 0x555;

std::uint64_t counterOf(const boardsim::CanFrame& frame) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | frame.data[std::size_t(i)];
  return value;
}

std::size_t acknowledgedFrames(BusyBoard& board) {
  std::size_t count = 0;
  for (const auto& sent : board.sim->transmittedFrames()) count += sent.acknowledged ? 1 : 0;
  return count;
}

bool settledGreen(TMainFrm& main) {
  return !main.errorDisplay()->showsError() && !main.errorDisplay()->clearPending();
}

TEST(FaultsUnderLoad, PollingTracingAndPeriodicTransmissionRecoverFromEveryFaultKind) {
  const std::uint64_t seed = numberFromEnvironment("VORELAN_LOAD_SEED", kDefaultSeed);
  const auto seconds = std::chrono::seconds(numberFromEnvironment("VORELAN_LOAD_SECONDS", kDefaultSeconds));
  std::printf(
      "load: %lld s of polling, tracing and periodic transmission under random faults, chaos seed %llu\n"
      "load: (VORELAN_LOAD_SECONDS and VORELAN_LOAD_SEED change them)\n",
      static_cast<long long>(seconds.count()), static_cast<unsigned long long>(seed));

  wipeSettings();
  storeComm("1", "19200,n,8,1", "1000");
  TSettingsStore("Trace").writeBool("Enabled", true);
  storeTransmissionSettings();

  BusyBoard board;
  GuiWatchdog watchdog(30s, "faults under load");
  TMainFrm main;
  main.createForm();
  main.createToolWindows();
  main.show();
  ASSERT_TRUE(main.Connected()) << main.errorDisplay()->text().toStdString();
  main.showToolWindow(QStringLiteral("RegFrm"));
  main.showToolWindow(QStringLiteral("TraceFrm"));
  main.showToolWindow(QStringLiteral("TransmitFrm"));
  TTransmitFrm& transmit = transmitWindow(main);
  transmit.findChild<THexEdit*>(QStringLiteral("AutoID"))->setValue(kTransmittedId);
  transmit.findChild<TNumberEntry*>(QStringLiteral("AutoLength"))->setValue(8);
  transmit.ApplyClick();  // Start
  ASSERT_TRUE(WaitUntil([&] { return traceLines(main) >= 2 && acknowledgedFrames(board) >= 2 && settledGreen(main); },
                        kOutcomeWait))
      << "before the faults: " << traceLines(main) << " frames traced, " << acknowledgedFrames(board) << " sent; "
      << main.errorDisplay()->text().toStdString();

  board.forgetTranscript();
  const ProcessMemory atStart = ProcessMemory::now();
  printMemory("start", atStart);
  ErrorDisplayLog shown(*main.errorDisplay());

  boardsim::FaultSchedule::Settings schedule;
  schedule.seed = seed;
  schedule.meanInterval = kMeanFaultInterval;
  boardsim::FaultInjector chaos(schedule);
  chaos.start(*board.sim);

  // The load: the program runs on its own while the faults come; memory is
  // looked at every 30 s.
  const auto end = std::chrono::steady_clock::now() + seconds;
  for (auto sample = std::chrono::steady_clock::now() + 30s; sample < end; sample += 30s) {
    WaitUntil([&] { return std::chrono::steady_clock::now() >= sample; }, std::chrono::milliseconds(35000));
    board.forgetTranscript();
    printMemory("now", ProcessMemory::now());
  }
  WaitUntil([&] { return std::chrono::steady_clock::now() >= end; }, std::chrono::milliseconds(35000));
  chaos.stop();
  const boardsim::FaultInjector::Status injected = chaos.status();
  std::printf("load: %s\n", chaos.reportLine().c_str());
  EXPECT_EQ(injected.failure, "");

  // Recovery: once the faults have stopped, the display turns green, and
  // polling, tracing and the transmission go on.
  const std::size_t linesBefore = traceLines(main);
  const std::size_t bytesBefore = board.bytesReceived();
  const std::size_t sentBefore = acknowledgedFrames(board);
  const bool recovered = WaitUntil(
      [&] {
        return settledGreen(main) && traceLines(main) > linesBefore && board.bytesReceived() > bytesBefore &&
               acknowledgedFrames(board) > sentBefore;
      },
      kOutcomeWait);
  EXPECT_TRUE(recovered) << "after the faults: \"" << main.errorDisplay()->displayText().toStdString() << "\", "
                         << traceLines(main) - linesBefore << " new trace lines, "
                         << board.bytesReceived() - bytesBefore << " bytes polled, "
                         << acknowledgedFrames(board) - sentBefore << " frames sent";

  board.forgetTranscript();
  const ProcessMemory atEnd = ProcessMemory::now();
  printMemory("end", atEnd);

  std::size_t foreign = 0;
  for (const TTraceLine& line : traceWindow(main).Lines().lines())
    if (!board.carried(line)) {
      ++foreign;
      ADD_FAILURE() << "a trace line the bus never carried: " << line.id.toStdString() << " [" << line.dlc.toStdString()
                    << "] " << line.data.toStdString();
    }

  // The counter on the bus: each frame the same value as the one before (its
  // writes failed after Data7 had sent it, and it is sent again) or the next.
  const std::vector<boardsim::BoardSimulator::TransmittedFrame> sent = board.sim->transmittedFrames();
  std::size_t skips = 0;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].frame.id, kTransmittedId);
    if (i == 0) continue;
    const std::uint64_t before = counterOf(sent[i - 1].frame), now = counterOf(sent[i].frame);
    if (now != before && now != before + 1) {
      ++skips;
      ADD_FAILURE() << "the counter went from " << before << " to " << now << " on the bus";
    }
  }

  // The figures of the run, taken before the close.
  const std::uint64_t errorsShown = shown.errorsShown();
  const std::map<QString, std::uint64_t> messages = shown.byMessage();
  const std::uint64_t redSpells = shown.redSpells();
  const std::uint64_t recoveries = shown.recoveries();
  const std::size_t traced = traceLines(main);

  main.close();
  EXPECT_TRUE(main.closeCompleted());
  EXPECT_FALSE(main.link()->threadRunning());

  using boardsim::FaultKind;
  const auto& counts = injected.counts;
  const std::uint64_t answerLost = counts[FaultKind::Drop] + counts[FaultKind::Corrupt] + counts[FaultKind::Vanish];
  for (const auto& [message, count] : messages)
    std::printf("load: shown %5llu x \"%s\"\n", static_cast<unsigned long long>(count), qPrintable(message));
  std::printf(
      "load: faults injected %llu, errors shown %llu (in %llu red spells), recoveries %llu, "
      "trace lines %zu, frames sent %zu (%zu acknowledged), hangs 0, crashes 0, longest GUI stall %lld ms\n",
      static_cast<unsigned long long>(counts.total()), static_cast<unsigned long long>(errorsShown),
      static_cast<unsigned long long>(redSpells), static_cast<unsigned long long>(recoveries), traced, sent.size(),
      acknowledgedFrames(board), static_cast<long long>(watchdog.longestStall().count()));
  std::printf(
      "load: VmRSS start %llu kB, end %llu kB; peak (VmHWM) start %llu kB, end %llu kB; heap start %llu kB, "
      "end %llu kB\n",
      static_cast<unsigned long long>(atStart.residentKb), static_cast<unsigned long long>(atEnd.residentKb),
      static_cast<unsigned long long>(atStart.peakResidentKb), static_cast<unsigned long long>(atEnd.peakResidentKb),
      static_cast<unsigned long long>(atStart.heapKb), static_cast<unsigned long long>(atEnd.heapKb));
  std::fflush(stdout);

  for (std::size_t kind = 0; kind < boardsim::kFaultKindCount; ++kind)
    EXPECT_GE(counts.byKind[kind], 1u) << "never injected: " << boardsim::faultKindName(FaultKind(kind));
  EXPECT_GE(errorsShown, answerLost) << "a fault that lost an answer showed no error";
  // Each kind of lost answer with its own message.
  const auto shownStartingWith = [&messages](const char* start) {
    std::uint64_t count = 0;
    for (const auto& [message, times] : messages)
      if (message.startsWith(QLatin1String(start))) count += times;
    return count;
  };
  if (counts[FaultKind::Drop] > 0) {
    EXPECT_GE(shownStartingWith("Time out..."), 1u);
  }
  if (counts[FaultKind::Corrupt] > 0) {
    EXPECT_GE(shownStartingWith("Bad MCU answer while"), 1u);
  }
  if (counts[FaultKind::Vanish] > 0) {
    EXPECT_GE(shownStartingWith("The device "), 1u);  // "... has gone away (...)", naming it
  }
  EXPECT_GE(recoveries, 1u);
  EXPECT_EQ(recoveries, redSpells) << "a red spell that never turned green";
  EXPECT_EQ(foreign, 0u);
  EXPECT_EQ(skips, 0u);
}

}  // namespace
