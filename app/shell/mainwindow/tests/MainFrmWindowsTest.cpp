// The main window's menus, help, file entries and tool windows plugged in
// through the tool window table (stand-ins here; the table's own windows are
// checked by ToolWindowTableTest).
#include "AboutFrm.h"
#include "ClientArea.h"
#include "ErrorDisplay.h"
#include "FileDialogs.h"
#include "HelpViewer.h"
#include "MainFrm.h"
#include "ProfileFile.h"
#include "SerialLink.h"
#include "ShellTestSupport.h"
#include "ThrTimer.h"
#include "ToolWindow.h"
#include "TraceFile.h"

#include <QAction>
#include <QDockWidget>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

using namespace shelltest;

namespace {

std::vector<QString> g_created;  // creation order of the stand-ins

// An MDI tool window with a threaded timer, as the Registers window has.
class StandInRegFrm : public TToolWindowOf<QWidget> {
 public:
  explicit StandInRegFrm(IToolWindowHost& host) : TToolWindowOf(host) {
    setObjectName(QStringLiteral("RegFrm"));
    new QLineEdit(this);
    resize(300, 200);
    timer = AddTimer(QStringLiteral("Timer"), 20, TimerState::Enabled, [this] {
      ++ticks;
      if (failTicks) throw std::runtime_error("tick failed");
    });
  }

  TThreadedTimer* timer = nullptr;
  int ticks = 0;
  bool failTicks = false;

 protected:
  void formCreate() override { g_created.push_back(objectName()); }
};

// The dockable Trace window with its trace files.
class StandInTraceFrm : public TToolWindowOf<QDockWidget> {
 public:
  explicit StandInTraceFrm(IToolWindowHost& host, QWidget* parent) : TToolWindowOf(host, parent) {
    setObjectName(QStringLiteral("TraceFrm"));
    setWindowTitle(QStringLiteral("Trace"));
    setWidget(new QLineEdit(this));
    setFloating(true);
    resize(320, 400);
    hide();
    OnFileEntry("TraceLoad",
                [this](const QString& path) { loaded = TProfileFile(path).readInt("Trace", "Count", -1); });
    OnFileEntry("TraceSave", [](const QString& path) {
      TProfileFile file(path);
      file.writeInt("Trace", "Count", 42);
      file.save();
    });
  }

  int loaded = 0;

 protected:
  void formCreate() override { g_created.push_back(objectName()); }
};

class MainFrmWindowsTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    wipeSettings();
    g_created.clear();
  }
  void TearDown() override {
    if (main_) main_->close();
    main_.reset();
    delete THelpViewer::shared();
  }
};

struct EntryCase {
  const char* objectName;
  const char* caption;
  const char* shortcut;
  const char* toolTip;
  const char* statusTip;
};

TEST_F(MainFrmWindowsTest, MenuEntriesCarryTheirCaptionsShortcutsAndHints) {
  TMainFrm& main = start();
  EXPECT_EQ(main.objectName(), "MainFrm");
  EXPECT_EQ(main.windowTitle(), "Vorelan 1.1");
  EXPECT_EQ(main.statusBar()->height(), 24);
  // At least its design width, wider for a longer message, within the bar.
  EXPECT_GE(main.errorDisplay()->width(), 300);
  EXPECT_LE(main.errorDisplay()->width(), main.statusBar()->width());

  const EntryCase cases[] = {
      {"RegLoad", "&Load Register values", "Ctrl+O", "Load previous saved register values",
       "Click to open previous saved register values."},
      {"RegSave", "&Save Register values", "Ctrl+S", "Save current register values",
       "Click to save current register values."},
      {"TraceLoad", "Load &Trace", "", "Load previous saved trace", "Click to open previous saved trace."},
      {"TraceSave", "Save T&race", "", "Save current trace", "Click to save current trace."},
      {"Exit", "&Exit", "", "Exit Vorelan", "Click to quit Vorelan."},
      {"COM2", "COM &2", "", "Comm port 2", "Select communication port number 2."},
      {"Speed4800", "&4800 bps", "", "4800 bauds", "4800 bauds"},
      {"WinRegisters", "&Registers", "Ctrl+F1", "Show register values", "Click to see current register values."},
      {"WinTrace", "&Trace", "Ctrl+F2", "Trace informations", "Click to trace messages received by the CAN cell."},
      {"WinBitSettings", "&Bit Settings", "Ctrl+F3", "Bit settings", "Click to set CAN configuration."},
      {"WinFilters", "&Filters", "Ctrl+F4", "Set Filters behaviour",
       "Click to set CAN cell messages filtering function."},
      {"WinTransmission", "&Transmission", "Ctrl+F5", "Transmit a message with CAN",
       "Click to transmit a message with the CAN cell."},
      {"TileVertically", "Tile &Vertically", "", "Tile child windows", "Tile child windows"},
      {"ArrangeIcons", "&Arrange icons", "", "Arrange minimized windows", "Arrange minimized windows"},
      {"HelpOnWindow", "Help on current &window", "", "Help on current window", ""},
      {"About", "&About", "", "Click to know more about Vorelan", "Click to know more about Vorelan"},
  };
  for (const EntryCase& c : cases) {
    SCOPED_TRACE(c.objectName);
    QAction* entry = main.action(c.objectName);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), c.caption);
    EXPECT_EQ(entry->shortcut().toString(), c.shortcut);
    EXPECT_EQ(entry->toolTip(), c.toolTip);
    EXPECT_EQ(entry->statusTip(), c.statusTip);
  }
  // Without tool windows their entries are greyed; the register file entries are the main window's own.
  for (const char* name :
       {"WinRegisters", "WinTrace", "WinBitSettings", "WinFilters", "WinTransmission", "TraceLoad", "TraceSave"})
    EXPECT_FALSE(main.action(name)->isEnabled()) << name;
  for (const char* name :
       {"RegLoad", "RegSave", "Exit", "COM1", "Speed9600", "Cascade", "Help", "About", "ConfigurePorts"})
    EXPECT_TRUE(main.action(name)->isEnabled()) << name;
}

TEST_F(MainFrmWindowsTest, HelpOpensTheIndexOrThePageOfTheActiveWindow) {
  TMainFrm& main = start();
  main.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
  main.clientArea()->setFocus();
  ASSERT_TRUE(WaitUntil([&] { return TRegPosSavedFrm::activeForm() == &main; }));
  EXPECT_EQ(main.helpCommandForActiveWindow(), "vorelan.chm::/Main_window.html");

  main.action("HelpOnWindow")->trigger();
  ASSERT_NE(THelpViewer::shared(), nullptr);
  EXPECT_EQ(THelpViewer::shared()->currentPage(), "Main_window.html");
  main.action("Help")->trigger();
  EXPECT_EQ(THelpViewer::shared()->currentPage(), "index.html");

  // The About box is not a window with a page: the help file alone.
  TAboutFrm about(&main);
  about.show();
  about.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
  about.okButton()->setFocus();
  ASSERT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == about.okButton(); }));
  EXPECT_EQ(main.helpCommandForActiveWindow(), "vorelan.chm");
}

TEST_F(MainFrmWindowsTest, ToolWindowsArriveInTheCreationOrderAndEnableTheirEntries) {
  TMainFrm::Options options;
  StandInRegFrm* reg = nullptr;
  StandInTraceFrm* trace = nullptr;
  // Given in another order than the program creates them.
  options.toolWindows = toolWindowsBuiltBy({
      {"TraceFrm", [&](IToolWindowHost& host) { return trace = new StandInTraceFrm(host, main_.get()); }},
      {"RegFrm", [&](IToolWindowHost& host) { return reg = new StandInRegFrm(host); }},
      {"NotAWindow", [](IToolWindowHost&) -> TToolWindow* { throw std::logic_error("never"); }},
  });
  QTemporaryDir folder;
  const QString tracePath = folder.filePath("saved.trc");
  options.chooseFile = [&](const TFileDialogSpec& dialog) {
    EXPECT_EQ(dialog.filter, TraceFile::DialogFilter());
    return tracePath;
  };
  TMainFrm& main = start(std::move(options));

  EXPECT_EQ(g_created, (std::vector<QString>{"RegFrm", "TraceFrm"}));
  EXPECT_EQ(main.toolWindow("RegFrm"), reg);
  ASSERT_TRUE(qobject_cast<QMdiSubWindow*>(reg->parentWidget()));
  for (const char* name : {"WinRegisters", "WinTrace", "TraceLoad", "TraceSave"})
    EXPECT_TRUE(main.action(name)->isEnabled()) << name;
  for (const char* name : {"WinBitSettings", "WinFilters", "WinTransmission"})
    EXPECT_FALSE(main.action(name)->isEnabled()) << name;

  // The Trace entry docks the hidden window into the last dock site.
  ASSERT_TRUE(trace->isHidden());
  main.action("WinTrace")->trigger();
  EXPECT_TRUE(trace->isVisible());
  EXPECT_FALSE(trace->isFloating());
  EXPECT_EQ(main.dockWidgetArea(trace), Qt::RightDockWidgetArea);

  // The Registers entry brings a minimised window back.
  auto* sub = static_cast<QMdiSubWindow*>(reg->parentWidget());
  sub->showMinimized();
  main.action("WinRegisters")->trigger();
  EXPECT_FALSE(sub->isMinimized());
  EXPECT_TRUE(sub->isVisible());

  // Trace files go through the Trace window.
  main.action("TraceSave")->trigger();
  EXPECT_EQ(TProfileFile(tracePath).readInt("Trace", "Count", 0), 42);
  main.action("TraceLoad")->trigger();
  EXPECT_EQ(trace->loaded, 42);

  // A tick's error reaches the error display; the ticks go on.
  ASSERT_TRUE(WaitUntil([&] { return reg->ticks > 0; }));
  reg->failTicks = true;
  EXPECT_TRUE(WaitUntil([&] { return main.errorDisplay()->text() == "tick failed"; }));

  // The close switches the window's timer off.
  main.close();
  EXPECT_TRUE(main.closeCompleted());
  EXPECT_FALSE(reg->timer->enabled());
}

// Ctrl+F4 is the Filters entry's key, also while another child window has
// the focus; that window's system menu still closes it.
TEST_F(MainFrmWindowsTest, CtrlF4OpensTheFiltersWindowAndTheSystemMenuStillCloses) {
  class StandInFiltersFrm : public TToolWindowOf<QWidget> {
   public:
    explicit StandInFiltersFrm(IToolWindowHost& host) : TToolWindowOf(host) { setObjectName("FiltersFrm"); }
  };
  TMainFrm::Options options;
  StandInRegFrm* reg = nullptr;
  StandInFiltersFrm* filters = nullptr;
  options.toolWindows = toolWindowsBuiltBy({
      {"RegFrm", [&](IToolWindowHost& host) { return reg = new StandInRegFrm(host); }},
      {"FiltersFrm", [&](IToolWindowHost& host) { return filters = new StandInFiltersFrm(host); }},
  });
  TMainFrm& main = start(std::move(options));
  ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
  auto* regSub = qobject_cast<QMdiSubWindow*>(reg->parentWidget());
  auto* filtersSub = qobject_cast<QMdiSubWindow*>(filters->parentWidget());
  ASSERT_TRUE(regSub && filtersSub);
  filtersSub->showMinimized();
  main.clientArea()->setActiveSubWindow(regSub);
  auto* edit = reg->findChild<QLineEdit*>();
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_F4, Qt::ControlModifier);
  EXPECT_FALSE(filtersSub->isMinimized());
  EXPECT_EQ(main.clientArea()->activeSubWindow(), filtersSub);
  EXPECT_FALSE(regSub->isMinimized());

  QAction* close = nullptr;
  for (QAction* entry : regSub->systemMenu()->actions())
    if (entry->text() == QMdiSubWindow::tr("&Close")) close = entry;
  ASSERT_NE(close, nullptr);
  EXPECT_FALSE(close->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_F4)));
  close->trigger();
  EXPECT_TRUE(regSub->isMinimized());  // a tool window closed is minimised
}

TEST_F(MainFrmWindowsTest, RegisterFileActionsGetTheChosenFileAndCancellingDoesNothing) {
  TMainFrm::Options options = withoutToolWindows();
  QStringList calls;
  std::function<void()> ended;  // the job of the last action, until it ends
  options.registerLoad = [&](IToolWindowHost&, const QString& path, std::function<void()> whenDone) {
    calls << "load " + path;
    ended = std::move(whenDone);
  };
  options.registerSave = [&](IToolWindowHost&, const QString& path, std::function<void()> whenDone) {
    calls << "save " + path;
    ended = std::move(whenDone);
  };
  QString answer = "/tmp/x.rgr";
  options.chooseFile = [&](const TFileDialogSpec& dialog) {
    EXPECT_EQ(dialog.filter, FileDialogs::registerFilter());
    calls << (dialog.mode == TFileDialogSpec::Mode::Open ? "open dialog" : "save dialog");
    return answer;
  };
  TMainFrm& main = start(std::move(options));
  ASSERT_TRUE(main.action("RegLoad")->isEnabled());
  main.action("RegLoad")->trigger();
  // While the load's job runs, neither entry can start another.
  EXPECT_FALSE(main.action("RegLoad")->isEnabled());
  EXPECT_FALSE(main.action("RegSave")->isEnabled());
  main.action("RegSave")->trigger();
  std::exchange(ended, nullptr)();
  EXPECT_TRUE(main.action("RegLoad")->isEnabled());
  main.action("RegSave")->trigger();
  std::exchange(ended, nullptr)();
  answer.clear();
  main.action("RegSave")->trigger();
  EXPECT_EQ(calls, (QStringList{"open dialog", "load /tmp/x.rgr", "save dialog", "save /tmp/x.rgr", "save dialog"}));
}

// An object whose event handler fails.
class FailingReceiver : public QObject {
 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("handler failed");
    return QObject::event(event);
  }
};

TEST_F(MainFrmWindowsTest, AnErrorEscapingAnEventHandlerEndsOnTheErrorDisplay) {
  TMainFrm& main = start();
  FailingReceiver receiver;
  QEvent event(QEvent::User);
  QCoreApplication::sendEvent(&receiver, &event);
  EXPECT_EQ(main.errorDisplay()->text(), "handler failed");
  EXPECT_EQ(main.errorDisplay()->displayText(), "ERROR: handler failed");

  // A menu handler's error is caught where it is thrown.
  main.ShowError(QString());
  main.guarded([] { throw std::runtime_error("menu handler failed"); });
  EXPECT_EQ(main.errorDisplay()->text(), "menu handler failed");
}

}  // namespace
