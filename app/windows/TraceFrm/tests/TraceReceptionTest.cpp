// The Trace window on the simulated board behind a pty, with the program's
// two nodes and the register access thread: frames put on the bus come out
// as trace lines, in arrival order, with their receive flags cleared on the
// target; overruns are counted, and the export reads back through log2asc.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>

#include "Log2asc.h"
#include "ThrTimer.h"
#include "TraceFrm.h"
#include "TraceLinePrinter.h"
#include "WindowOnBoard.h"

using namespace CanReg;

namespace {

boardsim::CanFrame Frame(std::uint32_t id, std::initializer_list<std::uint8_t> data, bool remote = false) {
  boardsim::CanFrame frame;
  frame.id = id;
  frame.remote = remote;
  frame.dlc = static_cast<std::uint8_t>(data.size());
  std::copy(data.begin(), data.end(), frame.data.begin());
  return frame;
}

TTraceLine Line(QString id, QString dlc, QString data, QString filter, QString buffer) {
  return TTraceLine{std::move(id), std::move(dlc), std::move(data), std::move(filter), std::move(buffer)};
}

// The window docked in a main window (window_), tracing enabled.
class TraceOnBoard : public WindowOnBoard<QMainWindow> {
 protected:
  void SetUp() override {
    WindowOnBoard::SetUp();
    if (HasFatalFailure()) return;
    window_ = std::make_unique<QMainWindow>();
    window_->setAttribute(Qt::WA_DontShowOnScreen);  // no backing store: see TraceFrmTest
    frm_ = new TTraceFrm(host_, window_.get());
    window_->addDockWidget(Qt::RightDockWidgetArea, frm_);
    window_->show();
    frm_->show();
    frm_->EnableTrc()->setChecked(true);
    frm_->Timer()->setEnabled(false);  // the reception follows the check box and the showing alone
    ReadAll();                         // as the main window does once connected
    ClearTranscript();
  }

  // One polling pass, and its frames delivered to the window.
  void Pass() {
    EXPECT_TRUE(Poll().ok());
    QCoreApplication::processEvents();
  }
  std::uint8_t TargetIsr() const { return sim_->peekRegister(0, ISR); }
  const std::vector<TTraceLine>& Traced() const { return frm_->Lines().lines(); }
  QString Cell(int row, int column) const { return frm_->Lines().index(row, column).data().toString(); }

  TTraceFrm* frm_ = nullptr;  // child of window_
};

}  // namespace

TEST_F(TraceOnBoard, APassListsEveryFrameWaitingInArrivalOrderAtOnce) {
  // Filter 0 accepts identifier 0x7FF only, so other frames go through filter 1.
  const std::uint8_t filter0[] = {0xFF, 0xE0, 0xFF, 0xE0};
  for (int i = 0; i < 4; ++i) sim_->pokeRegister(4, std::uint16_t(FHR0 + i), filter0[i]);
  QSignalSpy inserts(&frm_->Lines(), &QAbstractItemModel::rowsInserted);
  ASSERT_EQ(sim_->injectFrame(Frame(0x123, {0x12, 0xAB})).buffer, 1);
  ASSERT_EQ(sim_->injectFrame(Frame(0x7FF, {1, 2, 3, 4, 5, 6, 7, 8})).buffer, 2);
  ASSERT_EQ(sim_->injectFrame(Frame(0x005, {0xEE, 0xEE}, true)).buffer, 3);
  Pass();
  EXPECT_EQ(inserts.count(), 1);  // one batch, one insertion
  EXPECT_EQ(Traced(), (std::vector<TTraceLine>{Line("123", "2", "12 AB ", "1", "1"),
                                               Line("7FF", "8", "01 02 03 04 05 06 07 08 ", "0", "2"),
                                               Line("005", "2", "R", "1", "3")}));
  EXPECT_TRUE(frm_->Lines().listings()[2].remote);
  EXPECT_EQ(Cell(0, TTraceListModel::ColTime), "0.000");
  EXPECT_EQ(TargetIsr() & 0xE0, 0);  // every flag cleared, every buffer free again
  for (int buffer = 1; buffer <= 3; ++buffer) EXPECT_EQ(sim_->peekRegister(buffer, BCSR) & BufferOccupied, 0);

  // A frame that arrives while its buffer is being freed is the next pass's.
  std::atomic<int> injected{0};
  OnRequest([this, &injected](const Bytes& request) {
    if (request.size() == 4 && request[0] == 0x23 && request[2] == ISR && injected++ == 0)
      sim_->injectFrame(Frame(0x0B2, {0xB2}));
  });
  sim_->injectFrame(Frame(0x0A1, {0xA1}));
  Pass();
  OnRequest(nullptr);
  Pass();
  ASSERT_EQ(Traced().size(), 5u);
  EXPECT_EQ(Traced()[3].id, "0A1");
  EXPECT_EQ(Traced()[4].id, "0B2");
  EXPECT_TRUE(host_.errors.isEmpty());
}

TEST_F(TraceOnBoard, NothingIsTakenWhileHiddenOrNotEnabledAndAFailedPassLosesNoFrame) {
  sim_->injectFrame(Frame(0x123, {1}));
  frm_->hide();
  Pass();
  frm_->show();
  frm_->EnableTrc()->setChecked(false);
  Pass();
  EXPECT_TRUE(Traced().empty());
  EXPECT_EQ(TargetIsr() & RXIF1, RXIF1);  // the flag stays set on the target
  for (const Bytes& request : Requests()) EXPECT_NE(request[0], 0x23) << "nothing written";

  // The page read's answer lost: the pass fails, the frame stays on the cell.
  frm_->EnableTrc()->setChecked(true);
  OnRequest([this](const Bytes& request) {
    if (request == ReadRequest(0x60, 10)) sim_->dropAnswers(1);
  });
  sim_->injectFrame(Frame(0x234, {2}));
  EXPECT_EQ(Poll().result, TRegisterJobOutcome::Result::ReadFailed);
  OnRequest(nullptr);
  EXPECT_EQ(TargetIsr() & (RXIF1 | RXIF2), RXIF1 | RXIF2);
  Pass();
  EXPECT_EQ(Traced(), (std::vector<TTraceLine>{Line("123", "1", "01 ", "0", "1"), Line("234", "1", "02 ", "0", "2")}));
}

// Each pass that finds ORIF set counts once; Clear starts again at 1 while
// the cell is losing frames, at 0 once it is not.
TEST_F(TraceOnBoard, OverrunsAreCountedEachTimeTheCellReportsThem) {
  const auto fill = [this] {
    for (std::uint32_t id : {0x100u, 0x200u, 0x300u}) sim_->injectFrame(Frame(id, {}));
    EXPECT_EQ(sim_->injectFrame(Frame(0x400, {})).outcome, boardsim::CanCell::Reception::Overrun);
  };
  fill();
  Pass();
  EXPECT_EQ(frm_->Overruns()->text(), "Overruns: 1");
  EXPECT_EQ(TargetIsr() & ORIF, 0);  // cleared, to see the next one
  fill();
  Pass();
  EXPECT_EQ(frm_->Overruns()->text(), "Overruns: 2");
  EXPECT_EQ(frm_->Overruns()->palette().color(QPalette::WindowText), QColor(255, 0, 0));

  frm_->ClrTrcClick();
  EXPECT_EQ(frm_->Overruns()->text(), "Overruns: 1");  // the last pass found frames lost
  Pass();
  frm_->ClrTrcClick();
  EXPECT_EQ(frm_->Overruns()->text(), "Overruns: 0");
  EXPECT_NE(frm_->Overruns()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  fill();
  Pass();
  EXPECT_EQ(frm_->Overruns()->text(), "Overruns: 1");
  EXPECT_EQ(Traced().size(), 3u);  // since the last Clear
}

TEST_F(TraceOnBoard, ThePollingThreadTracesOnItsOwn) {
  thread_->SetPolling(true);
  sim_->injectFrame(Frame(0x321, {0xDE, 0xAD}));
  sim_->injectFrame(Frame(0x654, {0xBE, 0xEF, 0x01}));
  ASSERT_TRUE(WaitUntil([this] { return Traced().size() == 2; }));
  sim_->injectFrame(Frame(0x0AB, {}));
  ASSERT_TRUE(WaitUntil([this] { return Traced().size() == 3; }));
  EXPECT_EQ(Traced(),
            (std::vector<TTraceLine>{Line("321", "2", "DE AD ", "0", "1"), Line("654", "3", "BE EF 01 ", "0", "2"),
                                     Line("0AB", "0", "", "0", "1")}));
  EXPECT_EQ(TargetIsr() & 0xE0, 0);
  EXPECT_TRUE(host_.errors.isEmpty());

  // With TRACE_SCREENSHOT_DIR set, the window is saved there for people to look at.
  const QString dir = qEnvironmentVariable("TRACE_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    window_->resize(900, 700);
    QCoreApplication::processEvents();
    frm_->grab().save(dir + "/trace_docked.png");
  }
}

// Frames from the board's traffic, exported as a candump log and read back
// by can-utils' log2asc: the same identifiers, kinds, lengths and data, in
// the order they were listed, at the times they were read.
TEST_F(TraceOnBoard, ExportedTrafficReadsBackThroughLog2asc) {
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
    Pass();
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

  const std::vector<AscFrame> read = ReadBackWithLog2asc(path);
  for (std::size_t k = 0; k < read.size(); ++k) {
    ASSERT_LT(k, frames.size());
    const boardsim::CanFrame& frame = frames[k];
    EXPECT_EQ(read[k].id.toUInt(nullptr, 16), frame.id) << k;
    EXPECT_EQ(read[k].kind, frame.remote ? "r" : "d") << k;
    EXPECT_EQ(read[k].dlc.toInt(), frame.dlc) << k;
    QStringList data;
    for (std::size_t i = 0; i < frame.dataLength(); ++i)
      data << QStringLiteral("%1").arg(frame.data[i], 2, 16, QLatin1Char('0')).toUpper();
    EXPECT_EQ(read[k].data.simplified(), data.join(' ')) << k;
  }
  EXPECT_EQ(read.size(), frames.size());
}
