// Start-up time of the program on the simulated board: from starting the
// process to the first green "Connection OK" (the first good polling pass
// while connected), median of 5 runs, offscreen. Baseline, measured in the
// same run: starting a process that creates a QApplication and shows an empty
// QMainWindow.
//   bench_shell_startup [runs]
//
// Each run is a fresh process (this program, started again with a child mode),
// so loading, Qt's set-up, the node libraries, the board and the connection
// all count. The child starts as `vorelan --simulate` does: settings root,
// node registration beside the program, the simulated board on COM1, the main
// window's creation sequence. It prints a line when the goal is reached.
// Settings and the component registry live in a temporary folder.
#include "BenchFigures.h"
#include "ComponentSetup.h"
#include "ErrorDisplay.h"
#include "MainFrm.h"
#include "SerialLink.h"
#include "SettingsRoot.h"
#include "SimulatedBoard.h"
#include "VorelanApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

constexpr char kReady[] = "ready";

int childBaseline(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(762, 671);
  window.show();
  // Once the event loop has shown and painted the window.
  QTimer::singleShot(0, [] {
    std::puts(kReady);
    std::fflush(stdout);
    QCoreApplication::quit();
  });
  return app.exec();
}

int childProgram(int argc, char** argv) {
  TSettingsRoot::establish(QString::fromLocal8Bit(argv[0]));
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  for (const std::string& failure : ComponentSetup::ensureRegistered(self.parent_path().string()))
    std::fprintf(stderr, "%s\n", failure.c_str());
  TSimulatedBoard board;
  TApplication app(argc, argv);
  TMainFrm::Options options;
  options.simulate = true;
  TMainFrm mainFrm(std::move(options));
  bool reported = false;
  QObject::connect(mainFrm.link(), &TSerialLink::statusReport, &mainFrm, [&](const QString& status) {
    if (reported || !status.isEmpty() || !mainFrm.Connected()) return;
    reported = true;
    std::puts(kReady);
    std::fflush(stdout);
    QTimer::singleShot(0, &mainFrm, &QWidget::close);
  });
  mainFrm.createForm();
  mainFrm.createToolWindows();
  mainFrm.show();
  if (!mainFrm.Connected()) {
    std::fprintf(stderr, "not connected: %s\n", qPrintable(mainFrm.errorDisplay()->text()));
    return 1;
  }
  return app.exec();
}

// Milliseconds from starting the child to its "ready" line; negative on failure.
double timeChild(const QString& mode, const QProcessEnvironment& environment) {
  QProcess child;
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QElapsedTimer clock;
  clock.start();
  child.start(QCoreApplication::applicationFilePath(), {mode});
  double elapsed = -1;
  while (child.waitForReadyRead(20000)) {
    if (child.readAll().contains(kReady)) {
      elapsed = double(clock.nsecsElapsed()) / 1e6;
      break;
    }
  }
  if (!child.waitForFinished(20000)) child.kill();
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--child-baseline") return childBaseline(argc, argv);
  if (argc >= 2 && std::string(argv[1]) == "--child-program") return childProgram(argc, argv);

  const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
  QCoreApplication app(argc, argv);
  QTemporaryDir home;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
  environment.insert("XDG_DATA_HOME", home.filePath("data"));
  environment.insert("XDG_RUNTIME_DIR", home.path());
  environment.remove("VORELAN_COMPONENT_REGISTRY");  // the per-user registry, as for people
  environment.insert("ASAN_OPTIONS", "detect_leaks=0");

  // One run of each first: the program's first run registers the node libraries.
  timeChild("--child-baseline", environment);
  if (timeChild("--child-program", environment) < 0) {
    std::fprintf(stderr, "the program did not reach \"Connection OK\"\n");
    return 1;
  }
  std::vector<double> baseline;
  std::vector<double> program;
  for (int i = 0; i < runs; ++i) {
    baseline.push_back(timeChild("--child-baseline", environment));
    program.push_back(timeChild("--child-program", environment));
  }
  if (*std::min_element(program.begin(), program.end()) < 0 ||
      *std::min_element(baseline.begin(), baseline.end()) < 0) {
    std::fprintf(stderr, "a run failed\n");
    return 1;
  }
  const double b = bench::Median(baseline);
  const double p = bench::Median(program);
  std::printf("start-up, median of %d runs, offscreen\n", runs);
  std::printf("  baseline: process + QApplication + empty QMainWindow shown   %8.1f ms\n", b);
  std::printf("  vorelan --simulate to the first green \"Connection OK\"        %8.1f ms  (%.2f x baseline)\n", p,
              p / b);
  std::printf("  of which beyond the baseline                                %8.1f ms\n", p - b);
  return 0;
}
