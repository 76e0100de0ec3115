// The main window's link in the awkward cases: a stored TimeOut that the
// protocol node never reports, a port that must not change by itself, and an
// error that the next good pass follows at once.
#include "ErrorDisplay.h"
#include "MainFrm.h"
#include "SerialLink.h"
#include "ShellTestSupport.h"
#include "boardsim/Transcript.h"
#include "canregthread.h"
#include "tavarnel.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace shelltest;
using namespace std::chrono_literals;

namespace {

// The main window with the program's own tool windows table, none created.
class MainFrmLink : public MainWindowFixture {
 protected:
  TMainFrm& start() {
    main_ = std::make_unique<TMainFrm>();
    main_->createForm();
    main_->show();
    return *main_;
  }
};

// ---- a board that never answers, whatever the stored TimeOut

struct TimeOutCase {
  const char* stored;
  const char* nodeText;  // what the protocol node makes of it, and what is saved again
};

void PrintTo(const TimeOutCase& c, std::ostream* out) {
  *out << "TimeOut \"" << c.stored << "\"";
}

class SilentBoard : public MainFrmLink, public ::testing::WithParamInterface<TimeOutCase> {
 protected:
  void SetUp() override {
    MainFrmLink::SetUp();
    // The longest wait of an access, short for the test.
    TTavarnelObject::SetLongestTimeOut(300ms);
  }
  void TearDown() override {
    MainFrmLink::TearDown();
    TTavarnelObject::SetLongestTimeOut(TTavarnelObject::DefaultLongestTimeOut);
  }
};

TEST_P(SilentBoard, StartUpEndsWithTheTimeOutOnTheDisplayAndTheProgramCloses) {
  Board board;
  board.sim->dropAnswers(1000000);
  storeComm("1", "19200,n,8,1", GetParam().stored);

  TMainFrm& main = start();  // returns at once: the full read is on its way
  EXPECT_TRUE(main.Connected());
  EXPECT_EQ(main.errorDisplay()->displayText(), "Connecting...");
  EXPECT_TRUE(WaitUntil([&] { return main.errorDisplay()->text() == "Time out..."; }));
  // The request went out. With a TimeOut of 0 the time-out can come before
  // the simulator has served (and counted) it.
  EXPECT_TRUE(WaitUntil([&] { return board.requests() >= 1; }));
  const auto counted = TTavarnelObject::EffectiveTimeOut(std::stoi(GetParam().nodeText));
  EXPECT_EQ(main.closeLimit(), counted + 1s);
  // The thread goes on polling the silent board.
  const std::size_t before = board.requests();
  EXPECT_TRUE(WaitUntil([&] { return board.requests() > before; }));

  closeMain();
  EXPECT_EQ(storedString("Communication", "TimeOut"), GetParam().nodeText);
}

INSTANTIATE_TEST_SUITE_P(Stored, SilentBoard,
                         ::testing::Values(TimeOutCase{"-1", "-1"}, TimeOutCase{"0", "0"}, TimeOutCase{"abc", "0"},
                                           TimeOutCase{"99999999999", "2147483647"}),
                         [](const ::testing::TestParamInfo<TimeOutCase>& info) {
                           return "Case" + std::to_string(info.index);
                         });

// A board that never answers with TimeOut "-1" (an access waits 21 s): the
// start-up, a register file load and the close go on without waiting for it.
TEST_F(MainFrmLink, NothingTheUserDoesWaitsForASilentBoard) {
  Board board;
  board.sim->dropAnswers(1000000);
  storeComm("1", "19200,n,8,1", "-1");
  QTemporaryDir folder;
  const QString path = folder.filePath("setup.rgr");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Main]\nHighByte=5\n");
  }
  TMainFrm& main = start();
  EXPECT_EQ(main.errorDisplay()->displayText(), "Connecting...");
  EXPECT_TRUE(main.openFiles({path}).isEmpty());
  EXPECT_TRUE(main.registerFileBusy());  // handed to the thread, which waits for the board
  EXPECT_EQ(main.errorDisplay()->displayText(), "Connecting...");
  main.close();
  EXPECT_TRUE(main.closeCompleted());
  EXPECT_TRUE(main.link()->terminated());  // ended, not left behind
}

// ---- the port the user chose

TEST_F(MainFrmLink, ARefusedSettingsTextKeepsTheCheckedPortForTheNextConnection) {
  Board first(true, 1);
  Board third(true, 3);
  storeComm("3", "9600,x,8,1", "1000");
  TMainFrm& main = start();
  ASSERT_FALSE(main.Connected());
  EXPECT_EQ(main.checkedPort(), 3);
  EXPECT_EQ(main.link()->serialProperty("CommPort"), "3");

  main.SpeedSelClick(19200);
  EXPECT_TRUE(WaitUntil([&] { return main.Connected(); })) << main.errorDisplay()->text().toStdString();
  EXPECT_GE(third.requests(), 1u);  // the full read after the connection
  EXPECT_EQ(first.requests(), 0u);
}

TEST_F(MainFrmLink, AfterAStartWithNoPortCheckedTheNextStartOpensNoPort) {
  {
    TMainFrm& main = start();
    ASSERT_EQ(main.checkedPort(), std::nullopt);
    closeMain();
  }
  EXPECT_EQ(storedString("Communication", "Port"), "");

  Board third(true, 3);
  TMainFrm& main = start();
  EXPECT_FALSE(main.Connected());
  EXPECT_TRUE(main.errorDisplay()->showsError());
  EXPECT_EQ(main.checkedPort(), std::nullopt);
  EXPECT_EQ(third.requests(), 0u);
}

// ---- an error followed at once by a good pass

TEST_F(MainFrmLink, AFailedPassThatTheNextGoodPassFollowsAtOnceIsStillShown) {
  Board board;
  storeComm("1", "19200,n,8,1", "1000");
  TMainFrm& main = start();
  ASSERT_TRUE(main.Connected());
  ASSERT_TRUE(WaitUntil([&] { return main.RegThread()->Polling() && !main.errorDisplay()->showsError(); }));

  // The main thread looks away while a pass fails and good passes follow:
  // their reports reach it together, the error first.
  auto& transcript = board.sim->transcript();
  const std::size_t served = board.requests();
  board.sim->corruptAnswers(1);
  ASSERT_TRUE(transcript.waitForCount(boardsim::TranscriptEntry::Kind::Request, served + 6, 10s));

  ASSERT_TRUE(WaitUntil([&] { return main.errorDisplay()->showsError(); }, std::chrono::milliseconds(3000)));
  TErrorDisplay* display = main.errorDisplay();
  EXPECT_EQ(display->grab().toImage().pixelColor(display->width() - 3, display->height() / 2), QColor(255, 0, 0))
      << display->text().toStdString();
  EXPECT_TRUE(main.errorDisplay()->clearPending());
  // The good passes turn it green once it has been seen.
  EXPECT_TRUE(WaitUntil([&] { return !main.errorDisplay()->showsError(); }));
}

}  // namespace
