// The vorelan program: answers --help and --version before any window system
// is touched, catches the quit signals, fixes the settings root, makes the
// node libraries creatable, starts the simulated board for --simulate, then
// creates the main window and the tool windows, opens the files the command
// line names, and runs until the main window has closed.
#include "CommandLine.h"
#include "CommandLineFiles.h"
#include "ComponentSetup.h"
#include "DisplayCheck.h"
#include "HelpViewer.h"
#include "MainFrm.h"
#include "QuitSignals.h"
#include "SettingsRoot.h"
#include "SettingsStore.h"
#include "SimulatedBoard.h"
#include "TestDriverPlugin.h"
#include "ToolWindow.h"
#include "TraceFrm.h"
#include "VorelanApp.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// On the simulated board the newcomer sees frames arrive at once: the Trace
// window is docked and shown if it was hidden, and tracing is switched on,
// for this run only (the settings' changes are kept in memory).
void showSimulatedTraffic(TMainFrm& mainFrm) {
  TToolWindow* window = mainFrm.toolWindow(QStringLiteral("TraceFrm"));
  auto* trace = window ? qobject_cast<TTraceFrm*>(window->form()) : nullptr;
  if (!trace) return;
  if (!trace->isVisible()) mainFrm.showToolWindow(QStringLiteral("TraceFrm"));
  if (!trace->EnableTrc()->isChecked()) {
    trace->EnableTrc()->setChecked(true);
    trace->EnableTrcClick();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const TCommandLine line = TCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
  if (!line.error.empty()) {
    std::fprintf(stderr, "vorelan: %s\n\n%s", line.error.c_str(), TCommandLine::usage().c_str());
    return 2;
  }
  if (line.help) {
    std::fputs(TCommandLine::usage().c_str(), stdout);
    return 0;
  }
  if (line.version) {
    std::fputs(TCommandLine::versionText().c_str(), stdout);
    return 0;
  }
  // Qt aborts when its platform cannot be opened (no display over SSH): say how to go on instead.
  if (const auto noDisplay = DisplayCheck::noDisplayMessage(std::vector<std::string>(argv + 1, argv + argc),
                                                            DisplayCheck::Environment::current())) {
    std::fprintf(stderr, "vorelan: %s\n", noDisplay->c_str());
    return DisplayCheck::NoDisplayStatus;
  }

  // Ctrl+C or the session's end close the program as Exit does, even when
  // they come during start-up: from here on they are kept until the event
  // loop runs (TQuitSignals below).
  TQuitSignals::catchSignals();

  // The settings root comes from the executable's name, before any window exists.
  TSettingsRoot::establish(QString::fromLocal8Bit(argv[0]));
  // A simulated run reads the user's settings but keeps its own changes (the
  // tracing it switches on, window positions, the simulated port) to itself.
  if (line.simulate) TSettingsStore::keepChangesInMemory(true);

  for (const std::string& failure : ComponentSetup::ensureRegistered(ComponentSetup::programFolder(argv[0])))
    std::fprintf(stderr, "vorelan: %s\n", failure.c_str());

  // The simulated board is up, and COM1 leads to it, before the nodes connect.
  std::unique_ptr<TSimulatedBoard> board;
  QString boardError;
  if (line.simulate) {
    try {
      board = std::make_unique<TSimulatedBoard>();
    } catch (const std::exception& e) {
      boardError = QStringLiteral("Cannot start the simulated board: ") + QString::fromUtf8(e.what());
    }
  }

  TApplication app(argc, argv);
  // The end-to-end tests drive the program through it; null unless
  // VORELAN_TEST_DRIVER names its socket (TestDriverPlugin.h).
  const std::unique_ptr<QObject> testDriver =
      TestDriverPlugin::startFromEnvironment(ComponentSetup::programFolder(argv[0]));
  // The files to open are what QApplication left once it took its own options.
  QStringList files;
  for (const std::string& file : TCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc)).files)
    files << QFileInfo(QFile::decodeName(file.c_str())).absoluteFilePath();
  int result = 0;
  {
    TMainFrm::Options options;
    options.simulate = line.simulate;
    options.simulatedBoardFailure = boardError;
    TMainFrm mainFrm(std::move(options));
    // A quit signal that came before now, or comes during start-up, closes
    // the window once the event loop runs.
    TQuitSignals quitSignals([&mainFrm] { mainFrm.close(); });
    mainFrm.createForm();
    mainFrm.createToolWindows();
    mainFrm.show();
    if (board) showSimulatedTraffic(mainFrm);
    // As the File menu would open them, once the window is on the screen.
    TCommandLineFiles::openWhenShown(mainFrm, files);
    result = app.exec();
    delete THelpViewer::shared();
  }
  return result;
}
