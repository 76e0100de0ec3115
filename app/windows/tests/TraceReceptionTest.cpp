// The Trace window on the simulated board behind a pty, with the program's
// two nodes and the register access thread: frames injected on the bus come
// out as trace lines, the receive flags are cleared on the target, and the
// exact requests of a tick are those of the reception algorithm.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "CandumpLine.h"
#include "FakeToolWindowHost.h"
#include "LinkFixture.h"
#include "ThrTimer.h"
#include "TraceFrm.h"
#include "TraceLinePrinter.h"
#include "canregthread.h"

using namespace CanReg;
using Bytes = std::vector<std::uint8_t>;

namespace {

boardsim::CanFrame Frame(std::uint32_t id, std::initializer_list<std::uint8_t> data) {
  boardsim::CanFrame frame;
  frame.id = id;
  frame.dlc = static_cast<std::uint8_t>(data.size());
  std::copy(data.begin(), data.end(), frame.data.begin());
  return frame;
}

TTraceLine Line(QString id, QString dlc, QString data, QString filter, QString buffer) {
  return TTraceLine{std::move(id), std::move(dlc), std::move(data), std::move(filter), std::move(buffer)};
}

class TraceOnBoard : public LinkFixture {
 protected:
  void SetUp() override {
    LinkFixture::SetUp();
    thread_ = std::make_unique<TCANRegAccessThread>(protocol_.get());
    thread_->SetStatusHandler([this](const std::string& status) {
      statuses_.push_back(status);
      if (onStatus_) std::exchange(onStatus_, nullptr)();
    });
    host_.connected = true;
    host_.thread = thread_.get();
    main_ = std::make_unique<QMainWindow>();
    main_->setAttribute(Qt::WA_DontShowOnScreen);  // no backing store: see TraceFrmTest
    frm_ = new TTraceFrm(host_, main_.get());
    main_->addDockWidget(Qt::RightDockWidgetArea, frm_);
    main_->show();
    frm_->show();
    thread_->ReadAll(true);  // as the main window does once connected
    ClearTranscript();
  }
  void TearDown() override {
    OnRequest(nullptr);
    main_.reset();  // the window and its timer first
    thread_->Terminate();
    thread_->Wait();
    thread_.reset();
    LinkFixture::TearDown();
  }

  // The polling thread's pass, run here while it is not started, so that a
  // test decides when the image is refreshed.
  void Poll() { thread_->ReadCycle(); }
  std::uint8_t TargetIsr() const { return sim_->peekRegister(0, ISR); }
  const std::vector<TTraceLine>& Traced() const { return frm_->Lines().lines(); }
  bool ProcessUntil(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
  }
  // Filter 0 accepts identifier 0x7FF only, so other frames go through filter 1.
  void NarrowFilter0() {
    sim_->pokeRegister(4, FHR0, 0xFF);
    sim_->pokeRegister(4, FLR0, 0xE0);
    sim_->pokeRegister(4, MHR0, 0xFF);
    sim_->pokeRegister(4, MLR0, 0xE0);
  }

  FakeToolWindowHost host_;
  std::unique_ptr<TCANRegAccessThread> thread_;
  std::unique_ptr<QMainWindow> main_;
  TTraceFrm* frm_ = nullptr;
  std::vector<std::string> statuses_;
  std::function<void()> onStatus_;  // runs once, at the next status report
};

}  // namespace

TEST_F(TraceOnBoard, FramesComeOutInOrderWithTheirFields) {
  NarrowFilter0();
  ASSERT_EQ(sim_->injectFrame(Frame(0x123, {0x12, 0xAB})).buffer, 1);
  ASSERT_EQ(sim_->injectFrame(Frame(0x7FF, {1, 2, 3, 4, 5, 6, 7, 8})).buffer, 2);
  ASSERT_EQ(sim_->injectFrame(Frame(0x005, {})).buffer, 3);
  ASSERT_EQ(TargetIsr(), 0xE0);
  Poll();
  frm_->RefreshTrcTimer();
  // Buffer 1, freed, takes the next frame: it is listed after those that
  // were waiting in buffers 2 and 3, not before them.
  ASSERT_EQ(sim_->injectFrame(Frame(0x456, {0x99})).buffer, 1);
  for (int tick = 0; tick < 3; ++tick) {
    Poll();
    frm_->RefreshTrcTimer();
  }
  EXPECT_EQ(Traced(), (std::vector<TTraceLine>{Line("123", "2", "12 AB ", "1", "1"),
                                               Line("7FF", "8", "01 02 03 04 05 06 07 08 ", "0", "2"),
                                               Line("005", "0", "", "1", "3"), Line("456", "1", "99 ", "1", "1")}));
  // Every flag cleared, every buffer free again.
  EXPECT_EQ(TargetIsr() & 0xE0, 0);
  for (int buffer = 1; buffer <= 3; ++buffer) EXPECT_EQ(sim_->peekRegister(buffer, BCSR) & BufferOccupied, 0);

  // Nothing pending: nothing read or written.
  Poll();
  ClearTranscript();
  frm_->RefreshTrcTimer();
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(Traced().size(), 4u);
  EXPECT_TRUE(host_.errors.isEmpty());
}

// Frames arriving as fast as they are taken: buffer 1, refilled at each
// tick, does not keep the frames of buffers 2 and 3 waiting.
TEST_F(TraceOnBoard, SustainedTrafficKeepsTheArrivalOrder) {
  std::uint8_t n = 0;
  for (int i = 0; i < 3; ++i, ++n) sim_->injectFrame(Frame(0x100 + n, {n}));
  for (int tick = 0; tick < 12; ++tick) {
    Poll();
    frm_->RefreshTrcTimer();
    sim_->injectFrame(Frame(0x100 + n, {n}));  // into the buffer just freed
    ++n;
  }
  ASSERT_EQ(Traced().size(), 12u);
  for (int k = 0; k < 12; ++k) EXPECT_EQ(Traced()[std::size_t(k)].id, QString::number(0x100 + k, 16).toUpper()) << k;
}

TEST_F(TraceOnBoard, OneBufferPerTickWithTheOtherFlagsWrittenAsRead) {
  for (std::uint32_t id : {0x100u, 0x200u, 0x300u}) sim_->injectFrame(Frame(id, {0x55}));
  ASSERT_EQ(TargetIsr(), 0xE0);

  const std::uint8_t written[] = {0xC0, 0x80, 0x00};
  for (int tick = 0; tick < 3; ++tick) {
    Poll();
    ClearTranscript();
    frm_->RefreshTrcTimer();
    // Under the lock: every page read (PSR back on page 0), ISR read once
    // more with the page PSR shows, and the one flag cleared.
    const std::vector<Bytes> expected{Read(0x5A, 6),
                                      Write(0x5F, 0),
                                      Read(0x60, 2),
                                      Read(0x6E, 2),
                                      Write(0x5F, 4),
                                      Read(0x60, 8),  // ReadAll
                                      Write(0x5F, 1),
                                      Read(0x60, 10),
                                      Read(0x6F, 1),
                                      Write(0x5F, 2),
                                      Read(0x60, 10),
                                      Read(0x6F, 1),
                                      Write(0x5F, 3),
                                      Read(0x60, 10),
                                      Read(0x6F, 1),
                                      Write(0x5F, 0),
                                      Read(0x5A, 6),
                                      Read(0x60, 2),
                                      Read(0x6E, 2),  // the pass just before the write
                                      Write(0x5A, written[tick])};
    EXPECT_EQ(Requests(), expected) << "tick " << tick;
    ASSERT_EQ(Traced().size(), std::size_t(tick + 1));
    EXPECT_EQ(Traced().back().buffer, QString::number(tick + 1));
    EXPECT_EQ(TargetIsr(), written[tick]);
  }
  EXPECT_EQ(Traced()[0].id, "100");
  EXPECT_EQ(Traced()[2].id, "300");
  EXPECT_FALSE(thread_->registerLock().HeldByMe());
}

TEST_F(TraceOnBoard, AFlagSetSinceTheLastPassIsNotCleared) {
  sim_->injectFrame(Frame(0x111, {1}));
  Poll();                                                     // the image shows buffer 1 only
  ASSERT_EQ(sim_->injectFrame(Frame(0x222, {2})).buffer, 2);  // buffer 2 fills after that pass
  ClearTranscript();
  frm_->RefreshTrcTimer();
  const std::vector<Bytes> requests = Requests();
  EXPECT_NE(std::find(requests.begin(), requests.end(), Write(0x5A, 0x40)), requests.end());
  EXPECT_EQ(TargetIsr(), 0x40);  // buffer 2's flag survives the clearing of buffer 1's

  Poll();
  frm_->RefreshTrcTimer();
  ASSERT_EQ(Traced().size(), 2u);
  EXPECT_EQ(Traced()[0].id, "111");
  EXPECT_EQ(Traced()[1], Line("222", "1", "02 ", "0", "2"));

  // A flag that is gone by the time the lock is taken (cleared by another
  // window) gives no line and no write.
  sim_->injectFrame(Frame(0x333, {3}));
  Poll();
  sim_->writeMemory(ISR, {0x00});
  ClearTranscript();
  frm_->RefreshTrcTimer();
  EXPECT_EQ(Traced().size(), 2u);
  for (const Bytes& request : Requests()) EXPECT_FALSE(request[0] == 0x23 && request[2] == ISR) << "ISR not written";
}

TEST_F(TraceOnBoard, NothingIsReadWhileHiddenOrNotConnected) {
  sim_->injectFrame(Frame(0x123, {1}));
  Poll();
  ClearTranscript();

  frm_->hide();
  frm_->RefreshTrcTimer();
  frm_->show();
  host_.connected = false;
  frm_->RefreshTrcTimer();

  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(Traced().empty());
  EXPECT_EQ(TargetIsr() & RXIF1, RXIF1);  // the flag stays set on the target

  host_.connected = true;
  frm_->RefreshTrcTimer();
  EXPECT_EQ(Traced().size(), 1u);
}

TEST_F(TraceOnBoard, FailuresReleaseTheLockAndLeaveTheFrameForTheNextTick) {
  sim_->injectFrame(Frame(0x123, {1}));
  Poll();
  // A tick reports two statuses: after the full read, and after the pass just
  // before the ISR write. Losing that pass's first answer: no write at all.
  onStatus_ = [this] { sim_->dropAnswers(1); };
  ClearTranscript();
  frm_->RefreshTrcTimer();
  EXPECT_TRUE(Traced().empty());
  EXPECT_FALSE(thread_->registerLock().HeldByMe());
  ASSERT_FALSE(statuses_.empty());
  EXPECT_EQ(statuses_.back().rfind("Time out", 0), 0u) << statuses_.back();
  for (const Bytes& request : Requests()) EXPECT_FALSE(request == Write(0x5A, 0x00)) << "ISR not written";
  EXPECT_EQ(TargetIsr() & RXIF1, RXIF1);

  // Losing the ISR write's answer, through the real timer: the error reaches
  // the error display and no line is added in that tick.
  onStatus_ = [this] { onStatus_ = [this] { sim_->dropAnswers(1); }; };
  frm_->EnableTrc()->setChecked(true);
  ASSERT_TRUE(ProcessUntil([this] { return !host_.errors.isEmpty(); }));
  frm_->EnableTrc()->setChecked(false);
  EXPECT_EQ(host_.errors.front().left(8), "Time out") << host_.errors.front().toStdString();
  EXPECT_TRUE(Traced().empty());
  EXPECT_FALSE(thread_->registerLock().HeldByMe());
  // Another thread can take the lock, and the next pass works.
  std::thread other([this] {
    thread_->Lock();
    thread_->Unlock();
  });
  other.join();
  Poll();
  EXPECT_EQ(thread_->StatusText(), "");
}

// A frame that arrives the moment its buffer is freed is not listed in place
// of the frame the buffer held: that frame is read before the flag is cleared.
TEST_F(TraceOnBoard, AFrameIsReadBeforeItsBufferIsFreed) {
  sim_->injectFrame(Frame(0x0A1, {0xA1}));
  Poll();
  std::atomic<int> injected{0};
  OnRequest([this, &injected](const Bytes& request) {
    if (request.size() == 4 && request[0] == 0x23 && request[2] == ISR && injected++ == 0)
      sim_->injectFrame(Frame(0x0B2, {0xB2}));  // lands in buffer 1, freed by this very write
  });
  frm_->RefreshTrcTimer();
  OnRequest(nullptr);
  ASSERT_EQ(injected, 1);
  Poll();
  frm_->RefreshTrcTimer();
  EXPECT_EQ(Traced(), (std::vector<TTraceLine>{Line("0A1", "1", "A1 ", "0", "1"), Line("0B2", "1", "B2 ", "0", "1")}));
}

TEST_F(TraceOnBoard, TheTimerTracesWhileThePollingThreadRuns) {
  thread_->Resume();
  frm_->EnableTrc()->setChecked(true);
  ASSERT_TRUE(frm_->Timer()->enabled());
  sim_->injectFrame(Frame(0x321, {0xDE, 0xAD}));
  sim_->injectFrame(Frame(0x654, {0xBE, 0xEF, 0x01}));
  ASSERT_TRUE(ProcessUntil([this] { return Traced().size() == 2; }));
  sim_->injectFrame(Frame(0x0AB, {}));
  ASSERT_TRUE(ProcessUntil([this] { return Traced().size() == 3; }));

  EXPECT_EQ(Traced(),
            (std::vector<TTraceLine>{Line("321", "2", "DE AD ", "0", "1"), Line("654", "3", "BE EF 01 ", "0", "2"),
                                     Line("0AB", "0", "", "0", "1")}));
  EXPECT_EQ(TargetIsr() & 0xE0, 0);
  EXPECT_TRUE(host_.errors.isEmpty());
}

// Realistic frames traced and painted; with TRACE_SCREENSHOT_DIR set, the
// window and the main window around it are saved there for people to look at.
TEST_F(TraceOnBoard, PaintsTracedFrames) {
  NarrowFilter0();
  const boardsim::CanFrame frames[] = {Frame(0x123, {0x12, 0xAB}), Frame(0x7FF, {1, 2, 3, 4, 5, 6, 7, 8}),
                                       Frame(0x005, {}),           Frame(0x2A0, {0xC0, 0xFF, 0xEE}),
                                       Frame(0x7FF, {0x42}),       Frame(0x400, {0, 0, 0, 0, 0, 0})};
  for (const boardsim::CanFrame& frame : frames) {
    sim_->injectFrame(frame);
    Poll();
    frm_->RefreshTrcTimer();
  }
  ASSERT_EQ(Traced().size(), std::size(frames));
  main_->resize(900, 700);
  QCoreApplication::processEvents();
  const QImage window = frm_->grab().toImage();
  ASSERT_FALSE(window.isNull());
  // The list paints its rows: the first row's area holds more than the background.
  const QRect firstRow = frm_->ListTrc()->visualRect(frm_->ListTrc()->model()->index(0, 0));
  EXPECT_TRUE(firstRow.isValid());

  const QString dir = qEnvironmentVariable("TRACE_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    frm_->grab().save(dir + "/trace_docked.png");
    main_->grab().save(dir + "/trace_main.png");
    frm_->setFloating(true);
    frm_->resize(TTraceFrm::DesignWidth, TTraceFrm::DesignHeight);
    QCoreApplication::processEvents();
    frm_->grab().save(dir + "/trace_floating.png");
  }
}

// A frame that arrives with all three receive buffers full is lost; the
// window counts the overrun once per raising of ORIF, until Clear.
TEST_F(TraceOnBoard, OverrunsAreCountedUntilClear) {
  sim_->injectFrame(Frame(0x100, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  sim_->injectFrame(Frame(0x200, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}));
  sim_->injectFrame(Frame(0x300, {0x55}));
  EXPECT_EQ(sim_->injectFrame(Frame(0x400, {0x66})).outcome, boardsim::CanCell::Reception::Overrun);
  Poll();
  frm_->RefreshTrcTimer();
  EXPECT_EQ(frm_->OverrunCount(), 1u);
  EXPECT_EQ(frm_->Overruns()->text(), "Overruns: 1");
  // The same raising seen again, while the three frames are taken, counts once.
  for (int tick = 0; tick < 3; ++tick) {
    Poll();
    frm_->RefreshTrcTimer();
  }
  EXPECT_EQ(frm_->OverrunCount(), 1u);
  ASSERT_EQ(Traced().size(), 3u);
  EXPECT_EQ(Traced()[1].data, "FE DC BA 98 76 54 32 10 ");
  EXPECT_EQ(TargetIsr() & ORIF, ORIF);  // the trace leaves the flag as it is

  frm_->ClrTrcClick();
  EXPECT_EQ(frm_->Overruns()->text(), "Overruns: 0");
  // Once cleared on the target (a transmission clears ISR), a new overrun counts again.
  sim_->writeMemory(ISR, {0x00});
  Poll();
  frm_->RefreshTrcTimer();
  for (std::uint32_t id : {0x101u, 0x201u, 0x301u, 0x401u}) sim_->injectFrame(Frame(id, {}));
  Poll();
  frm_->RefreshTrcTimer();
  EXPECT_EQ(frm_->Overruns()->text(), "Overruns: 1");
  EXPECT_TRUE(host_.errors.isEmpty());
}

// Frames from the board's traffic, exported as a candump log and read back
// by can-utils' log2asc: the same identifiers, kinds, lengths and data, in
// the order they were listed, at the times they were listed.
TEST_F(TraceOnBoard, ExportedTrafficReadsBackThroughLog2asc) {
  const QString log2asc = QStandardPaths::findExecutable("log2asc");
  ASSERT_FALSE(log2asc.isEmpty()) << "log2asc not found: Debian's can-utils package provides it (./dev setup)";

  std::vector<boardsim::CanFrame> frames;
  for (int k = 0; k < 12; ++k) {
    boardsim::CanFrame frame;
    frame.id = std::uint32_t(0x7FF - k * 0x95);
    frame.dlc = std::uint8_t(k % 9);
    frame.remote = k == 5;
    for (int i = 0; i < 8; ++i) frame.data[std::size_t(i)] = std::uint8_t(k * 16 + i);
    frames.push_back(frame);
  }
  const auto before = std::chrono::system_clock::now();
  for (const boardsim::CanFrame& frame : frames) {
    sim_->injectFrame(frame);
    Poll();
    frm_->RefreshTrcTimer();
  }
  const auto after = std::chrono::system_clock::now();
  ASSERT_EQ(Traced().size(), frames.size());
  EXPECT_TRUE(frm_->Lines().listings()[5].remote);
  for (std::size_t k = 0; k < frames.size(); ++k) {
    EXPECT_GE(frm_->Lines().listings()[k].listed, before) << k;
    EXPECT_LE(frm_->Lines().listings()[k].listed, after) << k;
    if (k > 0) {
      EXPECT_GE(frm_->Lines().listings()[k].listed, frm_->Lines().listings()[k - 1].listed) << k;
    }
  }

  QTemporaryDir dir;
  const QString path = dir.filePath("traffic.log");
  ASSERT_TRUE(frm_->RunFileEntry(TTraceFrm::ExportEntry, path));
  EXPECT_TRUE(host_.errors.isEmpty());

  QProcess process;
  process.start(log2asc, {"-I", path, Candump::Interface});
  ASSERT_TRUE(process.waitForFinished(30000));
  ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  // "   0.250000 1  35              Rx   d 2 07 08"
  const QRegularExpression row(
      QStringLiteral(R"(^\s*\d+\.\d+\s+1\s+([0-9A-F]+)\s+Rx\s+([dr])\s+(\d+)((?:\s+[0-9A-F]{2})*)\s*$)"));
  std::size_t k = 0;
  for (const QString& text : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
    const QRegularExpressionMatch match = row.match(text);
    if (!match.hasMatch()) continue;
    ASSERT_LT(k, frames.size());
    const boardsim::CanFrame& frame = frames[k];
    EXPECT_EQ(match.captured(1).toUInt(nullptr, 16), frame.id) << k;
    EXPECT_EQ(match.captured(2), frame.remote ? "r" : "d") << k;
    EXPECT_EQ(match.captured(3).toInt(), frame.dlc) << k;
    QStringList data;
    for (std::size_t i = 0; i < frame.dataLength(); ++i)
      data << QStringLiteral("%1").arg(frame.data[i], 2, 16, QLatin1Char('0')).toUpper();
    EXPECT_EQ(match.captured(4).simplified(), data.join(' ')) << k;
    ++k;
  }
  EXPECT_EQ(k, frames.size());
}
