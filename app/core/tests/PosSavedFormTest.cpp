#include "PosSavedForm.h"
#include "SettingsRoot.h"
#include "SettingsStore.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace {

// Small windows shaped like the program's: a main window with an MDI area, an
// MDI tool window, and a dockable tool window.
class TestMainForm : public QMainWindow, public TRegPosSavedFrm {
 public:
  TestMainForm() : TRegPosSavedFrm(this, Role::Main), mdi(new QMdiArea) {
    setObjectName("MainFrm");
    setCentralWidget(mdi);
    setGeometry(kDesign);
  }

  static constexpr QRect kDesign{40, 30, 762, 649};
  QMdiArea* mdi;
  int created = 0;
  int closed = 0;
  bool hiddenAtFormClose = false;

 protected:
  void formCreate() override { ++created; }
  void formClose(QCloseEvent*) override {
    ++closed;
    hiddenAtFormClose = isHidden();
  }
  void closeEvent(QCloseEvent* event) override { closeForm(event); }
};

class TestChildForm : public QWidget, public TRegPosSavedFrm {
 public:
  explicit TestChildForm(const QString& name) : TRegPosSavedFrm(this), edit(new QLineEdit(this)) {
    setObjectName(name);
  }

  QLineEdit* edit;
  int created = 0;

 protected:
  void formCreate() override { ++created; }
};

class TestDockForm : public QDockWidget, public TRegPosSavedFrm {
 public:
  explicit TestDockForm(QMainWindow* mainWindow)
      : QDockWidget("Trace", mainWindow), TRegPosSavedFrm(this), list(new QListWidget) {
    setObjectName("TraceFrm");
    setWidget(list);  // a list that grows both ways, like the trace
  }

  QListWidget* list;
  int created = 0;

 protected:
  void formCreate() override { ++created; }
};

// The program's creation order: main window, then the tool windows, each
// placed where it lives and then restored.
struct Program {
  static constexpr QRect kRegDesign{0, 0, 390, 419};
  static constexpr QRect kTraceDesign{500, 100, 323, 400};

  Program() {
    main.createForm();
    reg = new TestChildForm("RegFrm");
    regSub = main.mdi->addSubWindow(reg);
    regSub->setGeometry(kRegDesign);
    reg->createForm();
    trace = new TestDockForm(&main);
    main.addDockWidget(Qt::RightDockWidgetArea, trace);
    trace->setFloating(true);
    trace->setGeometry(kTraceDesign);
    trace->hide();
    trace->createForm();
    // Like the platform's run loop, the main window is shown after creation.
    main.show();
  }

  TestMainForm main;
  TestChildForm* reg;
  QMdiSubWindow* regSub;
  TestDockForm* trace;
};

class PosSavedFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings all(QSettings::NativeFormat, QSettings::UserScope, TSettingsRoot::organisation(),
                  TSettingsRoot::programKey());
    all.clear();
  }

  static void store(const QString& window, const std::vector<std::pair<QString, QVariant>>& values) {
    TSettingsStore key("FormPositions/" + window);
    for (const auto& [name, value] : values) {
      if (value.typeId() == QMetaType::QString)
        key.writeString(name, value.toString());
      else
        key.writeInt(name, value.toInt());
    }
    ASSERT_TRUE(key.sync());
  }

  static std::optional<qint32> storedInt(const QString& window, const QString& name) {
    return TSettingsStore("FormPositions/" + window).readInt(name);
  }

  static QRect storedRect(const QString& window) {
    const TSettingsStore key("FormPositions/" + window);
    return QRect(key.readInt("Left").value_or(-999), key.readInt("Top").value_or(-999),
                 key.readInt("Width").value_or(-999), key.readInt("Height").value_or(-999));
  }

  // A whole saved set, as a normal close writes it.
  static void storeWindow(const QString& window, QRect rect, int state, int visible, int active, int docked) {
    store(window, {{"Left", rect.left()},
                   {"Top", rect.top()},
                   {"Width", rect.width()},
                   {"Height", rect.height()},
                   {"WindowState", state},
                   {"Visible", visible},
                   {"ActiveForm", active},
                   {"Docked", docked}});
  }
};

TEST_F(PosSavedFormTest, FirstStartKeepsTheDesignAndRunsTheCreationHandlers) {
  Program program;
  EXPECT_EQ(program.main.geometry(), TestMainForm::kDesign);
  EXPECT_EQ(program.regSub->geometry(), Program::kRegDesign);
  EXPECT_EQ(program.trace->geometry(), Program::kTraceDesign);
  EXPECT_TRUE(program.trace->isFloating());
  EXPECT_TRUE(program.trace->isHidden());
  EXPECT_EQ(program.main.created, 1);
  EXPECT_EQ(program.reg->created, 1);
  EXPECT_EQ(program.trace->created, 1);
  EXPECT_EQ(TRegPosSavedFrm::windowToFocus(), nullptr);
  EXPECT_EQ(TRegPosSavedFrm::mainForm(), &program.main);
}

TEST_F(PosSavedFormTest, PositionsRoundTrip) {
  const QRect mainRect(60, 50, 700, 560);
  const QRect regRect(15, 25, 400, 300);
  const QRect traceRect(300, 200, 250, 330);
  {
    Program program;
    program.main.setGeometry(mainRect);
    program.regSub->setGeometry(regRect);
    program.trace->setGeometry(traceRect);
    program.trace->show();
    ASSERT_TRUE(program.main.close());
    EXPECT_EQ(program.main.closed, 1);
    EXPECT_TRUE(program.main.hiddenAtFormClose);  // hidden before the windows were saved
    EXPECT_TRUE(program.trace->isHidden());
  }
  EXPECT_EQ(storedRect("MainFrm"), mainRect);
  EXPECT_EQ(storedRect("RegFrm"), regRect);
  EXPECT_EQ(storedRect("TraceFrm"), traceRect);
  EXPECT_EQ(storedInt("MainFrm", "Visible"), 1);  // as the user left it, not as the close hid it
  EXPECT_EQ(storedInt("TraceFrm", "Visible"), 1);
  EXPECT_EQ(storedInt("TraceFrm", "Docked"), 0);
  EXPECT_EQ(storedInt("RegFrm", "WindowState"), 0);

  Program again;
  EXPECT_EQ(again.main.geometry(), mainRect);
  EXPECT_EQ(again.regSub->geometry(), regRect);
  EXPECT_EQ(again.trace->geometry(), traceRect);
  EXPECT_TRUE(again.trace->isVisible());
  EXPECT_TRUE(again.trace->isFloating());
}

TEST_F(PosSavedFormTest, AMaximisedMainWindowComesBackMaximisedOverItsNormalSize) {
  const QRect normal(70, 80, 640, 480);
  {
    Program program;
    program.main.setGeometry(normal);
    program.main.showMaximized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(program.main.isMaximized());
    program.main.close();
  }
  EXPECT_EQ(storedInt("MainFrm", "WindowState"), 2);
  EXPECT_EQ(storedRect("MainFrm"), normal);

  Program again;
  EXPECT_TRUE(again.main.isMaximized());
  EXPECT_EQ(again.main.normalGeometry(), normal);
  again.main.showNormal();
  QCoreApplication::processEvents();
  EXPECT_EQ(again.main.geometry(), normal);
}

TEST_F(PosSavedFormTest, MinimisedAndMaximisedToolWindowsSaveTheirNormalGeometry) {
  const QRect normal(20, 30, 350, 250);
  {
    Program program;
    program.regSub->setGeometry(normal);
    program.regSub->showMinimized();
    program.main.close();
  }
  EXPECT_EQ(storedInt("RegFrm", "WindowState"), 1);
  EXPECT_EQ(storedRect("RegFrm"), normal);
  {
    Program again;
    EXPECT_TRUE(again.regSub->isMinimized());
    again.regSub->showNormal();
    EXPECT_EQ(again.regSub->geometry(), normal);
    again.regSub->showMaximized();
    again.main.close();
  }
  EXPECT_EQ(storedInt("RegFrm", "WindowState"), 2);
  EXPECT_EQ(storedRect("RegFrm"), normal);
}

TEST_F(PosSavedFormTest, ADockedWindowIsSavedWithItsSiteAndComesBackDocked) {
  QSize floating;
  int dockWidth = 0;
  {
    Program program;
    program.trace->resize(280, 360);  // its floating size
    floating = program.trace->size();
    program.trace->show();
    program.main.addDockWidget(Qt::RightDockWidgetArea, program.trace);
    program.trace->setFloating(false);
    program.main.resizeDocks({program.trace}, {230}, Qt::Horizontal);
    QCoreApplication::processEvents();
    ASSERT_EQ(program.main.dockWidgetArea(program.trace), Qt::RightDockWidgetArea);
    dockWidth = program.trace->width();
    const int dockHeight = program.trace->height();

    program.main.close();
    EXPECT_EQ(storedInt("TraceFrm", "Docked"), 1);
    EXPECT_EQ(TSettingsStore("FormPositions/TraceFrm").readString("DockSiteName"), "PanelRight");
    EXPECT_EQ(storedInt("TraceFrm", "DockWidth"), dockWidth);
    EXPECT_EQ(storedInt("TraceFrm", "DockHeight"), dockHeight);
    // Taken out of the site as a free window at the screen's origin, with its floating size.
    EXPECT_TRUE(program.trace->isFloating());
    EXPECT_EQ(storedRect("TraceFrm"), QRect(QPoint(0, 0), floating));
  }

  Program again;
  QCoreApplication::processEvents();
  EXPECT_FALSE(again.trace->isFloating());
  EXPECT_EQ(again.main.dockWidgetArea(again.trace), Qt::RightDockWidgetArea);
  EXPECT_EQ(again.trace->width(), dockWidth);
  EXPECT_TRUE(again.trace->isVisible());

  again.trace->setFloating(true);  // floats again with the floating size it was saved with
  EXPECT_EQ(again.trace->size(), floating);
}

TEST_F(PosSavedFormTest, EveryDockSiteIsFoundByItsExactName) {
  const std::vector<std::pair<QString, Qt::DockWidgetArea>> sites{{"PanelLeft", Qt::LeftDockWidgetArea},
                                                                  {"PanelTop", Qt::TopDockWidgetArea},
                                                                  {"PanelBottom", Qt::BottomDockWidgetArea}};
  for (const auto& [site, area] : sites) {
    storeWindow("TraceFrm", QRect(300, 200, 250, 330), 0, 1, 0, 1);
    store("TraceFrm", {{"DockSiteName", site}, {"DockWidth", 200}, {"DockHeight", 150}});
    Program program;
    QCoreApplication::processEvents();
    EXPECT_EQ(program.main.dockWidgetArea(program.trace), area) << site.toStdString();
    const bool sideways = area == Qt::LeftDockWidgetArea;
    EXPECT_EQ(sideways ? program.trace->width() : program.trace->height(), sideways ? 200 : 150);
  }

  // A name that matches no site (letter case counts) leaves the window free.
  storeWindow("TraceFrm", QRect(300, 200, 250, 330), 0, 1, 0, 1);
  store("TraceFrm", {{"DockSiteName", "panelright"}, {"DockWidth", 200}, {"DockHeight", 150}});
  Program program;
  EXPECT_TRUE(program.trace->isFloating());
  EXPECT_EQ(program.trace->geometry(), QRect(300, 200, 250, 330));
}

TEST_F(PosSavedFormTest, RestoringStopsAtTheFirstMissingOrMistypedValue) {
  // "Width" has the wrong type: Left and Top are applied, nothing after them.
  store("MainFrm", {{"Left", 11}, {"Top", 12}, {"Width", QString("wide")}, {"Height", 400}, {"WindowState", 2}});
  store("RegFrm", {{"Left", 5}, {"Top", 6}, {"Width", 200}, {"Height", 100}, {"WindowState", 7}, {"Visible", 1}});
  Program program;
  EXPECT_EQ(program.main.geometry(), QRect(11, 12, TestMainForm::kDesign.width(), TestMainForm::kDesign.height()));
  EXPECT_FALSE(program.main.isMaximized());
  EXPECT_EQ(program.main.created, 1);  // the creation handler runs in every case
  EXPECT_EQ(program.regSub->geometry(), QRect(5, 6, 200, 100));
  EXPECT_FALSE(program.main.restorePosition());
  EXPECT_FALSE(program.reg->restorePosition());  // a window state of 7 is no state
}

TEST_F(PosSavedFormTest, TheActiveWindowIsFocusedAgainAfterEachLaterWindow) {
  storeWindow("MainFrm", QRect(40, 30, 700, 600), 0, 1, 0, 0);
  storeWindow("RegFrm", QRect(10, 10, 300, 200), 0, 1, 1, 0);
  storeWindow("TraceFrm", QRect(300, 200, 250, 330), 0, 1, 0, 0);
  Program program;
  EXPECT_EQ(TRegPosSavedFrm::windowToFocus(), program.reg);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&program.main));
  EXPECT_EQ(program.main.mdi->activeSubWindow(), program.regSub);
  EXPECT_TRUE(program.reg->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == program.reg);
}

TEST_F(PosSavedFormTest, AHiddenWindowToFocusStopsTheLaterWindowsRestoring) {
  // The Trace window was active but hidden: it cannot take the focus, so its
  // restoring stops before its dock site, and so does every later window's.
  storeWindow("TraceFrm", QRect(300, 200, 250, 330), 0, 0, 1, 1);
  store("TraceFrm", {{"DockSiteName", "PanelLeft"}, {"DockWidth", 200}, {"DockHeight", 150}});
  storeWindow("BitSetFrm", QRect(30, 40, 250, 200), 0, 1, 0, 0);
  Program program;
  EXPECT_TRUE(program.trace->isFloating());
  EXPECT_EQ(TRegPosSavedFrm::windowToFocus(), program.trace);

  auto* bitSet = new TestChildForm("BitSetFrm");
  program.main.mdi->addSubWindow(bitSet);
  EXPECT_FALSE(bitSet->restorePosition());
  EXPECT_EQ(bitSet->parentWidget()->geometry(), QRect(30, 40, 250, 200));  // applied before the focus step
}

TEST_F(PosSavedFormTest, TheWindowThatLastHadTheFocusIsSavedAsActive) {
  {
    Program program;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&program.main));
    program.main.mdi->setActiveSubWindow(program.regSub);
    program.reg->edit->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(TRegPosSavedFrm::activeForm(), program.reg);
    EXPECT_EQ(TRegPosSavedFrm::forms().front(), program.reg);  // most recently focused first
    program.main.close();
  }
  EXPECT_EQ(storedInt("RegFrm", "ActiveForm"), 1);
  EXPECT_EQ(storedInt("MainFrm", "ActiveForm"), 0);
  EXPECT_EQ(storedInt("TraceFrm", "ActiveForm"), 0);
  EXPECT_EQ(storedInt("TraceFrm", "Visible"), 0);
}

TEST_F(PosSavedFormTest, AWindowLeftOffEveryScreenIsBroughtBack) {
  storeWindow("MainFrm", QRect(-5000, 9000, 600, 400), 0, 1, 0, 0);
  Program program;
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(screen.intersects(program.main.geometry()));
  EXPECT_EQ(program.main.size(), QSize(600, 400));
}

TEST_F(PosSavedFormTest, ExtremeStoredValuesLeaveUsableWindows) {
  const qint32 most = std::numeric_limits<qint32>::max();
  const qint32 least = std::numeric_limits<qint32>::min();
  store("MainFrm", {{"Left", most},
                    {"Top", least},
                    {"Width", most},
                    {"Height", least},
                    {"WindowState", 0},
                    {"Visible", 1},
                    {"ActiveForm", 0},
                    {"Docked", 0}});
  store("RegFrm", {{"Left", least}, {"Top", most}, {"Width", least}, {"Height", most}});
  store("TraceFrm", {{"Left", 0},
                     {"Top", 0},
                     {"Width", 100},
                     {"Height", 100},
                     {"WindowState", 0},
                     {"Visible", 1},
                     {"ActiveForm", 0},
                     {"Docked", 1},
                     {"DockSiteName", QString("PanelTop")},
                     {"DockWidth", most},
                     {"DockHeight", least}});
  Program program;
  const QRect virtualDesktop = QGuiApplication::primaryScreen()->virtualGeometry();
  EXPECT_LE(program.main.width(), virtualDesktop.width());
  EXPECT_TRUE(virtualDesktop.intersects(program.main.geometry()));
  EXPECT_LE(program.regSub->height(), 32767);
  EXPECT_EQ(program.main.dockWidgetArea(program.trace), Qt::TopDockWidgetArea);
}

}  // namespace
