// vorelan-slcan: the board's CAN cell as an SLCAN interface. Opens the board
// as vorelan does (the same nodes, port map, messages and register access
// thread, without a window), serves SLCAN on a pseudo-terminal, and runs
// until SIGINT, SIGTERM or SIGHUP; then it stops the cell if a client's O
// started it, and closes the link.
#include "ComponentSetup.h"
#include "LinkSettings.h"
#include "QuitSignals.h"
#include "SerialLink.h"
#include "SlcanCommandLine.h"
#include "SlcanShare.h"
#include "tavarnel.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

void Say(const std::string& text) {
  std::fprintf(stderr, "vorelan-slcan: %s\n", text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const TSlcanCommandLine line = TSlcanCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
  if (!line.error.empty()) {
    std::fprintf(stderr, "vorelan-slcan: %s\n\n%s", line.error.c_str(), TSlcanCommandLine::usage().c_str());
    return 2;
  }
  if (line.help) {
    std::fputs(TSlcanCommandLine::usage().c_str(), stdout);
    return 0;
  }
  if (line.version) {
    std::fputs(TSlcanCommandLine::versionText().c_str(), stdout);
    return 0;
  }
  // From here on a quit signal is kept until the event loop runs.
  TQuitSignals::catchSignals();
  for (const std::string& failure : ComponentSetup::ensureRegistered(ComponentSetup::programFolder(argv[0])))
    Say(failure);
  // A device path is COM1 for this run, through the variable the port map reads first.
  if (!line.devicePath.empty()) setenv("VORELAN_COM1", line.devicePath.c_str(), 1);

  QCoreApplication app(argc, argv);
  TSerialLink link;
  const TLinkSettings settings{QString::fromStdString(line.port), CommChoice::settingsForSpeed(line.speed),
                               QString::number(line.timeOutMs)};
  const TLinkStartReport report = link.start(settings);
  for (const QString& error : report.errors) Say(error.toStdString());
  if (!report.connected) return 1;

  // The passes' status, as vorelan's status bar shows it: each error once,
  // and "Connection OK" when the link works again.
  std::string lastStatus;
  QObject::connect(&link, &TSerialLink::statusReport, &app, [&lastStatus](const QString& status) {
    if (status.toStdString() == lastStatus) return;
    lastStatus = status.toStdString();
    Say(lastStatus.empty() ? "Connection OK" : lastStatus);
  });

  std::unique_ptr<TSlcanShare> share;
  try {
    share = std::make_unique<TSlcanShare>(
        *link.regThread(), TSlcanShare::Options{{line.clockMHz, line.txBuffer}, line.link},
        [&link] { return link.connected() && link.regThread() && link.regThread()->StatusText().empty(); }, Say);
  } catch (const std::exception& e) {
    Say(std::string("cannot serve SLCAN: ") + e.what());
    return 1;
  }
  std::printf("vorelan-slcan: SLCAN interface on %s\n", share->Where().c_str());
  std::fflush(stdout);

  // Stopping the cell takes a read cycle and a write: a few answers at most.
  const std::chrono::milliseconds limit =
      3 * TTavarnelObject::AnswerWaitLimit(line.timeOutMs) + std::chrono::seconds(1);
  bool ending = false;
  TQuitSignals quitSignals([&] {
    if (ending) return;
    ending = true;
    share->Finish([&app] { app.quit(); });
    QTimer::singleShot(limit, &app, &QCoreApplication::quit);
  });
  app.exec();

  share.reset();
  link.requestStop();
  if (!link.waitForTermination(limit)) link.abandon();
  return 0;
}
