// Whether the GUI thread ever waits on the board.
//   bench_shell_stall [seconds per case (10)]
//
// 1. The longest time the GUI thread goes without processing its events,
//    offscreen, while the Transmission and Filters windows hand in a frame and
//    a filter setting every 250 ms and the File menu loads a register file
//    every 2 s. Baseline, in the same run: the same work against a board that
//    answers. Measured: a board that never answers, with TimeOut 1000 and "-1"
//    (the longest wait of an access, 21 s). A heartbeat timer of 5 ms stamps
//    the GUI thread's turns; the figure is the longest gap between two.
// 2. A quit signal during start-up: the program (`vorelan` beside this
//    benchmark) on a pseudo-terminal that never answers, TimeOut "-1",
//    SIGTERM 1.5 s after it started, to its end. Baseline: the same signal to
//    `vorelan --simulate`, whose board answers.
// Settings live in a temporary folder.
#include "MainFrm.h"
#include "SettingsRoot.h"
#include "ShellBench.h"
#include "ToolWindow.h"
#include "VorelanApp.h"
#include "boardsim/BoardSimulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

struct Case {
  const char* what;
  bool silent;
  const char* timeOut;
};

// Clicks the button of that component name in the tool window, if it is enabled.
void Click(TMainFrm& main, const char* window, const char* button) {
  TToolWindow* tool = main.toolWindow(QString::fromLatin1(window));
  if (!tool) return;
  if (auto* b = tool->form()->findChild<QPushButton*>(QString::fromLatin1(button)); b && b->isEnabled()) b->click();
}

double LongestStallMs(const Case& c, int seconds, const QString& registerFile) {
  const std::string link =
      (std::filesystem::temp_directory_path() / ("vorelan-stall-" + std::to_string(getpid()))).string();
  const auto board = StartBoardOnCom1(link, false, 19200, QString::fromLatin1(c.timeOut));
  if (c.silent) board->dropAnswers(1000000000);

  auto main = std::make_unique<TMainFrm>();
  main->createForm();
  main->createToolWindows();
  main->show();
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, longest = 0;
  QTimer heartbeat;
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  heartbeat.start(5);
  QTimer work;
  int turns = 0;
  QObject::connect(&work, &QTimer::timeout, [&] {
    Click(*main, "TransmitFrm", "Apply");
    Click(*main, "FiltersFrm", "Apply");
    if (++turns % 8 == 0 && !main->registerFileBusy()) main->openFiles({registerFile});
  });
  work.start(250);
  QTest::qWait(seconds * 1000);
  work.stop();
  heartbeat.stop();
  main->close();
  main.reset();
  board->stop();
  return double(longest);
}

// Milliseconds from SIGTERM to the program's end, the signal 1.5 s after its start.
double QuitAfterStart(const QStringList& arguments, const QProcessEnvironment& environment) {
  const QString program =
      QString::fromStdString((std::filesystem::read_symlink("/proc/self/exe").parent_path() / "vorelan").string());
  QProcess child;
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(program, arguments);
  if (!child.waitForStarted(10000)) return -1;
  QTest::qWait(1500);
  QElapsedTimer clock;
  clock.start();
  kill(pid_t(child.processId()), SIGTERM);
  if (!child.waitForFinished(30000)) {
    child.kill();
    return -1;
  }
  return double(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 10;
  const ShellBenchHome home;
  TSettingsRoot::establish(QStringLiteral("vorelan"));
  TApplication app(argc, argv);

  const QString registerFile = home.filePath("all.rgr");
  {
    QFile file(registerFile);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write("[Main]\nHighByte=5\nByte2=1\n[Filters]\nHighByte=15\n");
  }
  const Case cases[] = {{"a board that answers (baseline)", false, "1000"},
                        {"a board that never answers, TimeOut 1000", true, "1000"},
                        {"a board that never answers, TimeOut -1", true, "-1"}};
  std::printf("1. Longest time the GUI thread went without processing events, %d s each:\n", seconds);
  double baseline = 0;
  for (const Case& c : cases) {
    const double stall = LongestStallMs(c, seconds, registerFile);
    if (!c.silent) baseline = stall;
    std::printf("   %-44s %8.1f ms  (%.2f x baseline)\n", c.what, stall, stall / baseline);
  }

  // A pseudo-terminal that nobody answers, for the program's COM1.
  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
  UseBoardOnCom1(name, 19200, QStringLiteral("-1"));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("ASAN_OPTIONS", "detect_leaks=0");
  const double simulated = QuitAfterStart({"--simulate"}, environment);
  const double silent = QuitAfterStart({}, environment);
  close(slave);
  close(master);
  std::printf("2. SIGTERM 1.5 s after the start to the program's end:\n");
  std::printf("   vorelan --simulate (baseline)                  %8.1f ms\n", simulated);
  std::printf("   vorelan on a silent board, TimeOut -1          %8.1f ms  (%.2f x baseline; goal under 1000 ms)\n",
              silent, silent / simulated);
  return 0;
}
