// The main window against the simulated board: start-up states, port and speed
// changes with the register lock's ownership, menu check marks from the stored
// settings, closing in every state, and a board that vanishes and comes back.
#include "ComRuntime.h"
#include "DockLayout.h"
#include "ErrorDisplay.h"
#include "Identities.h"
#include "MainFrm.h"
#include "MonitorFrames.h"
#include "Registry.h"
#include "ScopedEnv.h"
#include "SerialLink.h"
#include "ShellTestSupport.h"
#include "canregthread.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>

using namespace shelltest;
using namespace std::chrono_literals;

namespace {

class MainFrmTest : public MainWindowFixture {
 protected:
  // The link changes handed to the register access thread are done.
  void settle(TMainFrm& main) {
    EXPECT_TRUE(WaitUntil([&] { return main.link()->changesPending() == 0; }));
  }
  // Connected, with the thread polling and the error display green.
  void expectPolling(TMainFrm& main, Board& board) {
    EXPECT_TRUE(main.Connected());
    EXPECT_TRUE(WaitUntil([&] { return main.RegThread()->Polling(); }));
    const std::size_t before = board.requests();
    EXPECT_TRUE(WaitUntil([&] { return board.requests() >= before + 6; }));
    EXPECT_TRUE(WaitUntil([&] { return !main.errorDisplay()->showsError(); }));
  }
};

TEST_F(MainFrmTest, ConnectsAtStartReadsEverythingAndSavesTheSettingsAtClose) {
  Board board;
  storeComm("1", "19200,n,8,1", "1000");
  TMainFrm& main = start();

  ASSERT_NE(main.RegThread(), nullptr);
  EXPECT_EQ(main.checkedPort(), 1);
  EXPECT_EQ(main.checkedSpeed(), 19200);
  // The full read is the thread's first job, before its first pass: main
  // registers, then every page.
  ASSERT_TRUE(WaitUntil([&] { return board.requests() >= 2; }));
  const auto requests = board.sim->transcript().requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0], ReadRequest(0x5A, 6));
  EXPECT_EQ(requests[1], WriteRequest(0x5F, 0));
  expectPolling(main, board);
  EXPECT_EQ(main.errorDisplay()->displayText(), "Connection OK");

  main.SpeedSelClick(9600);
  EXPECT_FALSE(main.Connected());  // until the change, on the register access thread, is done
  settle(main);
  EXPECT_TRUE(main.Connected());
  EXPECT_EQ(main.link()->serialProperty("Settings"), "9600,n,8,1");

  closeMain();
  EXPECT_EQ(storedString("Communication", "Port"), "1");
  EXPECT_EQ(storedString("Communication", "Settings"), "9600,n,8,1");
  EXPECT_EQ(storedString("Communication", "TimeOut"), "1000");
}

TEST_F(MainFrmTest, FirstStartEndsNotConnectedWithoutPollingAndSavesNoPort) {
  TMainFrm& main = start();

  EXPECT_FALSE(main.Connected());
  EXPECT_TRUE(main.errorDisplay()->showsError());
  ASSERT_NE(main.RegThread(), nullptr) << main.errorDisplay()->text().toStdString();
  EXPECT_FALSE(main.RegThread()->Polling());
  // The serial node took the empty texts, so nothing is checked.
  EXPECT_EQ(main.checkedPort(), std::nullopt);
  EXPECT_EQ(main.checkedSpeed(), std::nullopt);
  EXPECT_EQ(main.link()->protocolProperty("TimeOut"), "1000");
  // After the failed opening the serial node reports the settings its port kept.

  closeMain();
  EXPECT_EQ(storedString("Communication", "Port"), "");
  EXPECT_EQ(storedString("Communication", "Settings"), "");  // as stored: the next start asks again
  EXPECT_EQ(storedString("Communication", "TimeOut"), "1000");
}

// A first start asks for both choices, says which one is still missing, and
// connects once both are made, in either order.
TEST_F(MainFrmTest, AFirstStartConnectsOnceAPortAndASpeedAreChosen) {
  Board board;
  TMainFrm& main = start();
  ASSERT_FALSE(main.Connected());
  EXPECT_TRUE(main.errorDisplay()->text().endsWith("(choose a port and a speed under Serial Link)"))
      << main.errorDisplay()->text().toStdString();
  EXPECT_EQ(board.requests(), 0u);

  main.COMSelClick(1);
  EXPECT_EQ(main.checkedPort(), 1);
  settle(main);
  EXPECT_FALSE(main.Connected());
  EXPECT_EQ(main.errorDisplay()->text(), "No speed chosen yet: choose a speed under Serial Link > Speed");
  EXPECT_EQ(board.requests(), 0u);

  main.SpeedSelClick(19200);
  EXPECT_EQ(main.checkedSpeed(), 19200);
  settle(main);
  expectPolling(main, board);
}

struct CheckCase {
  const char* port;
  const char* settings;
  std::optional<int> checkedPort;
  std::optional<int> checkedSpeed;
};

void PrintTo(const CheckCase& c, std::ostream* out) {
  *out << "Port \"" << c.port << "\", Settings \"" << c.settings << "\"";
}

class MenuChecksTest : public MainFrmTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(MenuChecksTest, StoredSettingsCheckTheirEntriesExactly) {
  storeComm(GetParam().port, GetParam().settings, "1000");
  TMainFrm& main = start();
  EXPECT_EQ(main.checkedPort(), GetParam().checkedPort);
  EXPECT_EQ(main.checkedSpeed(), GetParam().checkedSpeed);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, MenuChecksTest,
    ::testing::Values(CheckCase{"2", "9600,n,8,1", 2, 9600}, CheckCase{"1", "115200,n,8,1", 1, std::nullopt},
                      CheckCase{"3", "4800,e,7,2", 3, 4800}, CheckCase{"02", "19200,n,8,1", std::nullopt, 19200},
                      CheckCase{" 1", "9", std::nullopt, std::nullopt}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(MainFrmTest, AFailedReconnectionStopsThePollingAndTheNextGoodOneResumesIt) {
  Board board;
  storeComm("1", "19200,n,8,1", "1000");
  TMainFrm& main = start();
  expectPolling(main, board);

  ScopedEnv missing("VORELAN_COM2", "/nonexistent/vorelan-test-port");
  main.COMSelClick(2);
  EXPECT_EQ(main.checkedPort(), 2);
  settle(main);
  EXPECT_EQ(main.link()->serialProperty("CommPort"), "2");
  EXPECT_FALSE(main.Connected());
  EXPECT_TRUE(main.errorDisplay()->showsError());
  EXPECT_FALSE(main.RegThread()->Polling());
  // The thread does not poll: nothing reaches the board, and the error stays.
  const std::size_t held = board.requests();
  QTest::qWait(300);
  EXPECT_EQ(board.requests(), held);
  EXPECT_TRUE(main.errorDisplay()->showsError());

  main.COMSelClick(3);  // a second failure
  settle(main);
  EXPECT_FALSE(main.RegThread()->Polling());

  main.COMSelClick(1);
  EXPECT_EQ(main.checkedPort(), 1);
  settle(main);
  // A full read right after the reconnection, before the thread's next pass.
  const auto requests = board.sim->transcript().requests();
  ASSERT_GE(requests.size(), held + 2);
  EXPECT_EQ(requests[held], ReadRequest(0x5A, 6));
  EXPECT_EQ(requests[held + 1], WriteRequest(0x5F, 0));
  expectPolling(main, board);
}

TEST_F(MainFrmTest, APropertyRejectedAtStartLeavesTheLinkClosedUntilAGoodChoice) {
  QTemporaryDir folder;
  const std::string registry = folder.filePath("components.reg").toStdString();
  ScopedEnv useRegistry("VORELAN_COMPONENT_REGISTRY", registry);
  std::string message;
  ASSERT_EQ(RegisterServerLibrary(REJECTING_NODE_LIBRARY, false, &message), S_OK) << message;
  ASSERT_EQ(RegisterServerLibrary(TAVARNEL_LIBRARY, false, &message), S_OK) << message;

  storeComm("1", "fast", "200");
  TMainFrm& main = start();
  EXPECT_FALSE(main.Connected());
  EXPECT_EQ(main.errorDisplay()->text(), "Bad settings: fast (choose a speed under Serial Link > Speed)");
  EXPECT_FALSE(main.RegThread()->Polling());
  EXPECT_EQ(main.checkedPort(), 1);      // set before the rejection
  EXPECT_EQ(main.checkedSpeed(), 9600);  // the design's mark, untouched

  // A speed the node takes connects; the silent stand-in times every access out.
  main.SpeedSelClick(19200);
  settle(main);
  EXPECT_TRUE(main.Connected());
  EXPECT_TRUE(WaitUntil([&] { return main.errorDisplay()->text() == "Time out..."; }));

  // Closing while the thread waits for an answer.
  closeMain();
  EXPECT_EQ(storedString("Communication", "Settings"), "19200,n,8,1");
  EXPECT_EQ(storedString("Communication", "TimeOut"), "200");
}

TEST_F(MainFrmTest, AMissingNodeShowsItsErrorRunsWithoutALinkAndClosesCleanly) {
  QTemporaryDir folder;
  const std::string emptyRegistry = folder.filePath("empty.reg").toStdString();
  const std::string brokenRegistry = folder.filePath("broken.reg").toStdString();
  {
    ScopedEnv useRegistry("VORELAN_COMPONENT_REGISTRY", brokenRegistry);
    std::string error;
    ASSERT_TRUE(ComponentRegistry::Edit(
        [](ComponentRegistry& r) {
          r.Set("CLSID\\" + GuidToString(CLSID_RS232Node) + "\\InprocServer32", "", "/nonexistent/librs232.so");
        },
        &error))
        << error;
  }

  for (const std::string& registry : {emptyRegistry, brokenRegistry}) {
    SCOPED_TRACE(registry);
    storeComm("2", "9600,n,8,1", "1000");
    ScopedEnv useRegistry("VORELAN_COMPONENT_REGISTRY", registry);
    TMainFrm& main = start();
    EXPECT_FALSE(main.Connected());
    EXPECT_EQ(main.RegThread(), nullptr);
    EXPECT_TRUE(main.errorDisplay()->showsError());
    if (registry == emptyRegistry) {
      EXPECT_EQ(main.errorDisplay()->text(), "Class not registered");
    }

    // The menus still answer, without a node to configure.
    main.COMSelClick(3);
    main.SpeedSelClick(4800);
    EXPECT_EQ(main.checkedPort(), 3);
    EXPECT_FALSE(main.Connected());

    closeMain();
    // No node was there to take the settings from: the stored ones stay.
    EXPECT_EQ(storedString("Communication", "Port"), "2");
    EXPECT_EQ(storedString("Communication", "Settings"), "9600,n,8,1");
  }
}

TEST_F(MainFrmTest, ClosingInTheMiddleOfAnExchangeEndsItWithoutWaitingForItsTimeOut) {
  Board board;
  storeComm("1", "19200,n,8,1", "3000");
  TMainFrm& main = start();
  expectPolling(main, board);
  EXPECT_EQ(main.closeLimit(), 4000ms);

  board.sim->dropAnswers(1000000);
  // The next request goes out and gets no answer: the thread waits in it.
  const std::size_t before = board.requests();
  ASSERT_TRUE(WaitUntil([&] { return board.requests() > before + 1; }));

  // The access ends through the close, not through its time-out.
  std::string lastPass;
  QObject::connect(main.link(), &TSerialLink::nodesClosed, [&] { lastPass = main.RegThread()->StatusText(); });
  closeMain();
  EXPECT_EQ(lastPass, "The program is closing");
  EXPECT_EQ(storedString("Communication", "TimeOut"), "3000");
}

TEST_F(MainFrmTest, ABoardThatVanishesShowsAnErrorAndRecoversWhenItComesBack) {
  Board board;
  storeComm("1", "19200,n,8,1", "300");
  TMainFrm& main = start();
  expectPolling(main, board);

  board.sim->vanish();
  EXPECT_TRUE(WaitUntil([&] { return main.errorDisplay()->showsError(); }));
  EXPECT_TRUE(main.Connected());  // the link stays marked open: the node recovers by itself

  board.sim->reappear();
  EXPECT_TRUE(WaitUntil([&] { return !main.errorDisplay()->showsError(); }, std::chrono::milliseconds(20000)))
      << main.errorDisplay()->text().toStdString();
  const std::size_t before = board.requests();
  EXPECT_TRUE(WaitUntil([&] { return board.requests() > before + 6; }));
}

TEST_F(MainFrmTest, DockSitesTakeAThirdOfTheClientArea) {
  TMainFrm& main = start();
  const int menu = main.menuBar()->sizeHint().height();
  // A first start: the main window fills most of the screen's free area, centred.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(main.size(), QSize(screen.width() * 9 / 10, screen.height() * 9 / 10));
  EXPECT_LE((main.geometry().center() - screen.center()).manhattanLength(), 2);
  EXPECT_EQ(main.dockLayout()->dockSize(Qt::LeftDockWidgetArea), main.width() / 3);
  EXPECT_EQ(main.dockLayout()->dockSize(Qt::RightDockWidgetArea), main.width() / 3);
  EXPECT_EQ(main.dockLayout()->dockSize(Qt::TopDockWidgetArea), (main.height() - menu) / 3);
  EXPECT_EQ(main.dockLayout()->dockSize(Qt::BottomDockWidgetArea), (main.height() - menu) / 3);
  EXPECT_EQ(main.dockLayout()->lastDockSite(), Qt::RightDockWidgetArea);
  closeMain();

  // After the restored position, not the design's.
  TSettingsStore key("FormPositions/MainFrm");
  key.writeInt("Left", 10);
  key.writeInt("Top", 10);
  key.writeInt("Width", 480);
  key.writeInt("Height", 300 + menu);
  key.sync();
  TMainFrm& restored = start();
  EXPECT_EQ(restored.dockLayout()->dockSize(Qt::LeftDockWidgetArea), 160);
  EXPECT_EQ(restored.dockLayout()->dockSize(Qt::BottomDockWidgetArea), 100);
}

TEST_F(MainFrmTest, SimulationUsesPortOneAndNeverWritesTheCommunicationSettings) {
  Board board;
  storeComm("3", "", "1000");
  TMainFrm::Options options = withoutToolWindows();
  options.simulate = true;
  TMainFrm& main = start(std::move(options));
  EXPECT_EQ(main.checkedPort(), 1);
  EXPECT_EQ(main.checkedSpeed(), 19200);
  EXPECT_EQ(main.link()->serialProperty("Settings"), "19200,n,8,1");
  expectPolling(main, board);
  main.SpeedSelClick(9600);
  closeMain();
  EXPECT_EQ(storedString("Communication", "Port"), "3");
  EXPECT_EQ(storedString("Communication", "Settings"), "");
  // The window positions are saved as in every run.
  EXPECT_TRUE(TSettingsStore("FormPositions/MainFrm").readInt("Width").has_value());
}

// --simulate whose board could not start: the error is shown and no port is
// opened, although COM1 leads to a device (here a board standing in for the
// user's own).
TEST_F(MainFrmTest, ASimulationWhoseBoardFailedOpensNoPort) {
  Board board;
  storeComm("1", "9600,n,8,1", "1000");
  TMainFrm::Options options = withoutToolWindows();
  options.simulate = true;
  options.simulatedBoardFailure = "Cannot start the simulated board: no pseudo-terminal";
  TMainFrm& main = start(std::move(options));
  EXPECT_FALSE(main.Connected());
  EXPECT_EQ(main.errorDisplay()->text(), "Cannot start the simulated board: no pseudo-terminal");
  ASSERT_NE(main.RegThread(), nullptr);
  EXPECT_FALSE(main.RegThread()->Polling());
  EXPECT_EQ(main.checkedPort(), std::nullopt);
  EXPECT_EQ(main.checkedSpeed(), 9600);
  EXPECT_EQ(board.requests(), 0u);
  closeMain();
  EXPECT_EQ(board.requests(), 0u);
  EXPECT_EQ(storedString("Communication", "Port"), "1");  // a simulated run writes nothing
  EXPECT_EQ(storedString("Communication", "Settings"), "9600,n,8,1");
}

}  // namespace
