#include "LinkChoices.h"

#include "CommSettings.h"
#include "ErrorDisplay.h"
#include "MainFrm.h"
#include "RegisterSession.h"
#include "SerialLink.h"
#include "canregthread.h"

#include <QAction>

namespace {

// What the first connection still needs, as the messages say it.
constexpr char kChoosePort[] = "choose a port under Serial Link > Comm port";
constexpr char kChooseSpeed[] = "choose a speed under Serial Link > Speed";

}  // namespace

TLinkChoices::TLinkChoices(TMainFrm& mainFrm) : mainFrm_(mainFrm) {}

void TLinkChoices::setEntries(const std::array<QAction*, 3>& ports, const std::array<QAction*, 3>& speeds) {
  ports_ = ports;
  speeds_ = speeds;
}

// ---- start-up ---------------------------------------------------------------------

void TLinkChoices::start(bool simulate, const QString& simulatedBoardFailure) {
  const bool boardMissing = simulate && !simulatedBoardFailure.isEmpty();
  if (boardMissing) mainFrm_.ShowError(simulatedBoardFailure);
  const TCommSettings comm = startSettings(simulate, simulatedBoardFailure);
  TSerialLink& link = *mainFrm_.link();
  showStart(link.start(comm, boardMissing ? TSerialLink::PortAtStart::StayClosed : TSerialLink::PortAtStart::Open),
            comm, simulate);
}

TCommSettings TLinkChoices::startSettings(bool simulate, const QString& simulatedBoardFailure) const {
  const TCommSettings stored = TCommSettings::read();
  if (!simulate) return stored;
  TCommSettings simulated = stored.forSimulatedBoard();
  if (!simulatedBoardFailure.isEmpty()) simulated.port.clear();  // no entry checked: no port chosen
  return simulated;
}

void TLinkChoices::showStart(const TLinkStartReport& report, const TCommSettings& comm, bool simulate) {
  const TSerialLink& link = *mainFrm_.link();
  if (report.port.settled) checkPort(report.port.entry);
  if (report.speed.settled) checkSpeed(report.speed.entry);
  if (report.timeOut) timeOut_ = *report.timeOut;
  // A stored speed the serial node cannot use stays as the person wrote it
  // until they choose one; until then a port choice does not connect.
  speedUsable_ = CommChoice::speedOfSettings(comm.settings).has_value() && link.hasNodes() &&
                 link.serialProperty("Settings") == comm.settings.toStdString();
  if (!speedUsable_) settingsKept_ = comm.settings;
  QStringList errors = report.errors;
  if (!report.connected && !errors.isEmpty() && link.hasNodes() && !simulate) {
    const bool portMissing = !CommChoice::portForText(comm.port);
    const QString missing = portMissing && !speedUsable_ ? QStringLiteral("choose a port and a speed under Serial Link")
                            : portMissing                ? QString::fromLatin1(kChoosePort)
                            : !speedUsable_              ? QString::fromLatin1(kChooseSpeed)
                                                         : QString();
    if (!missing.isEmpty()) errors.last() += QStringLiteral(" (%1)").arg(missing);
  }
  for (const QString& error : errors) mainFrm_.ShowError(error);
  // The first read is on its way: its status replaces the notice.
  if (report.connected && report.errors.isEmpty()) mainFrm_.errorDisplay()->showNotice(TErrorDisplay::ConnectingText);
}

// ---- the menu's choices -----------------------------------------------------------

bool TLinkChoices::choosePort(int port) {
  checkPort(port);
  TSerialLink& link = *mainFrm_.link();
  if (!link.hasNodes()) return false;  // no node to configure: the program runs without a link
  if (!speedUsable_) {
    // The first connection needs both choices: this one is kept for the other.
    setSerialPropertyOnly("CommPort", std::to_string(port));
    mainFrm_.ShowError(QStringLiteral("No speed chosen yet: %1").arg(QLatin1String(kChooseSpeed)));
    return false;
  }
  mainFrm_.errorDisplay()->showNotice(TErrorDisplay::ConnectingText);
  link.reconnectWith("CommPort", std::to_string(port));
  return true;
}

void TLinkChoices::chooseSpeed(int bitsPerSecond) {
  checkSpeed(bitsPerSecond);
  TSerialLink& link = *mainFrm_.link();
  if (!link.hasNodes()) return;
  speedUsable_ = true;
  settingsKept_.reset();
  const std::string settings = CommChoice::settingsForSpeed(bitsPerSecond).toStdString();
  if (!checkedPort()) {
    setSerialPropertyOnly("Settings", settings);
    mainFrm_.ShowError(QStringLiteral("No port chosen yet: %1").arg(QLatin1String(kChoosePort)));
    return;
  }
  mainFrm_.errorDisplay()->showNotice(TErrorDisplay::ConnectingText);
  link.reconnectWith("Settings", settings);
}

void TLinkChoices::setSerialPropertyOnly(const std::string& name, const std::string& value) {
  TSerialLink* link = mainFrm_.link();
  TCANRegAccessThread* thread = link->regThread();
  if (!thread) return;
  // On the register access thread, after what it is doing; nothing is opened.
  thread->SubmitTask([link, name, value](TRegisterSession&) { link->setSerialProperty(name, value); }, &mainFrm_,
                     [this](const TRegisterJobOutcome& outcome) {
                       if (!outcome.error.empty()) mainFrm_.ShowError(QString::fromStdString(outcome.error));
                     });
}

void TLinkChoices::checkPort(std::optional<int> port) {
  for (int i = 0; i < 3; ++i) ports_[std::size_t(i)]->setChecked(port == i + 1);
}

void TLinkChoices::checkSpeed(std::optional<int> bitsPerSecond) {
  for (std::size_t i = 0; i < kSpeeds.size(); ++i) speeds_[i]->setChecked(bitsPerSecond == kSpeeds[i]);
}

std::optional<int> TLinkChoices::checkedPort() const {
  for (int i = 0; i < 3; ++i)
    if (ports_[std::size_t(i)]->isChecked()) return i + 1;
  return std::nullopt;
}

std::optional<int> TLinkChoices::checkedSpeed() const {
  for (std::size_t i = 0; i < kSpeeds.size(); ++i)
    if (speeds_[i]->isChecked()) return kSpeeds[i];
  return std::nullopt;
}

// ---- closing -----------------------------------------------------------------------

void TLinkChoices::writeSettings(bool simulate) {
  TSerialLink& link = *mainFrm_.link();
  if (simulate || !link.hasNodes()) return;  // the simulated board's port is for this run only
  try {
    TCommSettings comm;
    comm.port = CommChoice::portTextToSave(checkedPort());
    comm.settings = settingsKept_.value_or(QString::fromStdString(link.serialProperty("Settings")));
    comm.timeOut = QString::fromStdString(link.protocolProperty("TimeOut"));
    comm.write();  // a settings failure is ignored
  } catch (const std::exception&) {
    // A node that cannot tell its properties leaves the stored settings as they were.
  }
}
