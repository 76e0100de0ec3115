#include "MainFrm.h"

#include "AboutFrm.h"
#include "AppError.h"
#include "CanShareEntry.h"
#include "ClientArea.h"
#include "ComRuntime.h"
#include "CommSettings.h"
#include "DockLayout.h"
#include "ErrorDisplay.h"
#include "FileDialogs.h"
#include "HelpTopics.h"
#include "HelpViewer.h"
#include "HintPanel.h"
#include "Pictures.h"
#include "PortMapEditor.h"
#include "PortsDlg.h"
#include "RegisterSession.h"
#include "SerialLink.h"
#include "ThrTimer.h"
#include "ToolWindow.h"
#include "VorelanApp.h"
#include "canregthread.h"
#include "tavarnel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDockWidget>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr std::array<int, 3> kSpeeds{4800, 9600, 19200};
// What the first connection still needs, as the messages say it.
constexpr char kChoosePort[] = "choose a port under Serial Link > Comm port";
constexpr char kChooseSpeed[] = "choose a speed under Serial Link > Speed";

QString messageOf(const std::exception& e) {
  return QString::fromUtf8(e.what());
}

}  // namespace

TMainFrm::TMainFrm() : TMainFrm(Options()) {}

TMainFrm::TMainFrm(Options options)
    : QMainWindow(nullptr),
      TRegPosSavedFrm(this, Role::Main),
      options_(std::move(options)),
      link_(new TSerialLink(this)),
      dockLayout_(new TDockLayout(this)) {
  setObjectName(QStringLiteral("MainFrm"));
  setWindowTitle(QStringLiteral("Vorelan 1.1"));
  setWindowIcon(QIcon(QPixmap::fromImage(Pictures::aboutPicture().copy(28, 20, 88, 86))));
  setDockOptions(QMainWindow::AnimatedDocks);

  buildClientArea();
  buildMenus();
  buildStatusBar();
  updateToolEntries();

  connect(link_, &TSerialLink::statusReport, this, [this](const QString& status) {
    errorDisplay_->showStatus(status);
    if (status.isEmpty()) boardReached();
  });
  connect(link_, &TSerialLink::linkChanged, this, [this](const QString& error) {
    if (!error.isEmpty()) ShowError(error);
  });
  connect(link_, &TSerialLink::nodesClosed, this, [this] { writeCommSettings(); });
  dockLayout_->setOnChange([this] { clientArea_->arrangeIcons(); });

  resize(kDesignClient.width(), kDesignClient.height() + menuBar()->sizeHint().height());
}

TMainFrm::~TMainFrm() {
  // The tool windows go first: they may still copy the thread's images.
  for (auto& [name, window] : toolWindows_) delete window->form();
  toolWindows_.clear();
  delete link_;
  if (auto* app = TApplication::instance(); app && !closeCompleted_) app->setErrorHandler({});
}

// ---- construction -------------------------------------------------------------

void TMainFrm::buildClientArea() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  topLine_ = new QFrame(central);
  topLine_->setObjectName(QStringLiteral("Panel1"));
  topLine_->setFrameShape(QFrame::HLine);
  topLine_->setFrameShadow(QFrame::Sunken);
  topLine_->setFixedHeight(2);
  clientArea_ = new TClientArea(central);
  column->addWidget(topLine_);
  column->addWidget(clientArea_, 1);
  setCentralWidget(central);
}

QAction* TMainFrm::addEntry(QMenu* menu, const QString& objectName, const QString& caption, const QString& hint,
                            const QKeySequence& shortcut, std::function<void()> handler) {
  auto* entry = new QAction(caption, this);
  entry->setObjectName(objectName);
  if (!hint.isEmpty()) Hint::apply(entry, hint);
  if (!shortcut.isEmpty()) entry->setShortcut(shortcut);
  connect(entry, &QAction::triggered, this, [this, handler = std::move(handler)] { guarded(handler); });
  menu->addAction(entry);
  return entry;
}

void TMainFrm::buildMenus() {
  QMenuBar* bar = menuBar();

  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("FileMenu"));
  addEntry(file, QStringLiteral("RegLoad"), QStringLiteral("&Load Register values"),
           QStringLiteral("Load previous saved register values|Click to open previous saved register values."),
           QKeySequence(Qt::CTRL | Qt::Key_O), [this] { RegLoadClick(); });
  addEntry(file, QStringLiteral("RegSave"), QStringLiteral("&Save Register values"),
           QStringLiteral("Save current register values|Click to save current register values."),
           QKeySequence(Qt::CTRL | Qt::Key_S), [this] { RegSaveClick(); });
  for (const ToolWindowEntry& window : options_.toolWindows)
    for (const FileMenuEntry& entry : window.fileEntries) {
      QAction* action = addEntry(file, entry.objectName, entry.caption, entry.hint, QKeySequence(),
                                 [this, &window, &entry] { ToolFileClick(window, entry); });
      toolFileEntries_[action] = window.componentName;
    }
  file->addSeparator();
  addEntry(file, QStringLiteral("Exit"), QStringLiteral("&Exit"), QStringLiteral("Exit Vorelan|Click to quit Vorelan."),
           QKeySequence(), [this] { close(); });

  QMenu* link = bar->addMenu(QStringLiteral("&Serial Link"));
  link->setObjectName(QStringLiteral("SerialLinkMenu"));
  QMenu* ports = link->addMenu(QStringLiteral("&Comm port"));
  ports->setObjectName(QStringLiteral("CommPortMenu"));
  for (int port = 1; port <= 3; ++port) {
    QAction* entry = addEntry(ports, QStringLiteral("COM%1").arg(port), QStringLiteral("COM &%1").arg(port),
                              QStringLiteral("Comm port %1|Select communication port number %1.").arg(port),
                              QKeySequence(), [this, port] { COMSelClick(port); });
    entry->setCheckable(true);
    portEntries_[std::size_t(port - 1)] = entry;
  }
  QMenu* speeds = link->addMenu(QStringLiteral("&Speed"));
  speeds->setObjectName(QStringLiteral("SpeedMenu"));
  for (std::size_t i = 0; i < kSpeeds.size(); ++i) {
    const int speed = kSpeeds[i];
    QAction* entry =
        addEntry(speeds, QStringLiteral("Speed%1").arg(speed), QStringLiteral("&%1 bps").arg(speed),
                 QStringLiteral("%1 bauds").arg(speed), QKeySequence(), [this, speed] { SpeedSelClick(speed); });
    entry->setCheckable(true);
    speedEntries_[i] = entry;
  }
  // The design checks COM 1 and 9600 bit/s; the stored settings decide at start-up.
  portEntries_[0]->setChecked(true);
  speedEntries_[1]->setChecked(true);
  link->addSeparator();
  addEntry(link, QStringLiteral("ConfigurePorts"), QStringLiteral("Configure &ports..."),
           QStringLiteral("Configure ports|Choose the serial device of each comm port."), QKeySequence(),
           [this] { ConfigurePortsClick(); });
  auto* canShare = new TCanShareEntry(*this);
  addEntry(link, QStringLiteral("ShareCan"), QStringLiteral("Share as CAN &interface..."),
           QStringLiteral("Share as CAN interface|Serve the board's CAN cell as an SLCAN interface for CAN tools "
                          "(python-can, slcand); click again to end it."),
           QKeySequence(), [canShare] { canShare->Click(); })
      ->setCheckable(true);

  QMenu* windows = bar->addMenu(QStringLiteral("&Windows"));
  windows->setObjectName(QStringLiteral("WindowsMenu"));
  for (const ToolWindowEntry& window : options_.toolWindows) {
    const QString name = window.componentName;
    windowEntries_[name] = addEntry(windows, window.menuObjectName, window.caption, window.hint, window.shortcut,
                                    [this, name] { showToolWindow(name); });
  }
  windows->addSeparator();
  addEntry(windows, QStringLiteral("Cascade"), QStringLiteral("&Cascade"), QStringLiteral("Cascade child windows"),
           QKeySequence(), [this] { clientArea_->cascadeSubWindows(); });
  addEntry(windows, QStringLiteral("TileHorizontally"), QStringLiteral("Tile &Horizontally"),
           QStringLiteral("Tile child windows"), QKeySequence(), [this] { clientArea_->tileHorizontally(); });
  addEntry(windows, QStringLiteral("TileVertically"), QStringLiteral("Tile &Vertically"),
           QStringLiteral("Tile child windows"), QKeySequence(), [this] { clientArea_->tileVertically(); });
  addEntry(windows, QStringLiteral("ArrangeIcons"), QStringLiteral("&Arrange icons"),
           QStringLiteral("Arrange minimized windows"), QKeySequence(), [this] { clientArea_->arrangeIcons(); });

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("HelpMenu"));
  addEntry(help, QStringLiteral("Help"), QStringLiteral("&Help"), QString(), QKeySequence(), [this] { HelpClick(); });
  addEntry(help, QStringLiteral("HelpOnWindow"), QStringLiteral("Help on current &window"), QString(), QKeySequence(),
           [this] { HelpOnWindowClick(); });
  help->addSeparator();
  addEntry(help, QStringLiteral("About"), QStringLiteral("&About"), QStringLiteral("Click to know more about Vorelan"),
           QKeySequence(), [this] { AboutClick(); });

  // The short part of each hint shows as the entry's tool tip.
  for (QMenu* menu : {file, link, ports, speeds, windows, help}) menu->setToolTipsVisible(true);
}

void TMainFrm::buildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  bar->setFixedHeight(ErrorDisplay::kHeight);
  errorDisplay_ = new ErrorDisplay(bar);
  hintPanel_ = new HintPanel(bar);
  bar->addWidget(errorDisplay_);
  bar->addWidget(hintPanel_, 1);
}

QAction* TMainFrm::action(const QString& objectName) const {
  return findChild<QAction*>(objectName);
}

// ---- start-up ---------------------------------------------------------------------

void TMainFrm::formCreate() {
  if (!positionStored()) fitToScreen();
  // 1. The client area draws the background and the logo.
  clientArea_->setPaintingHooked(true);

  // 2. Errors escaping a handler go to the error display, hints to panel 1.
  if (auto* app = TApplication::instance())
    app->setErrorHandler([this](const QString& message) { ShowError(message); });
  hintPanel_->attachTo(this);

  // 3. Dock sizes: a third of the client area as restored.
  dockLayout_->setSizesFromClient(QSize(width(), height() - menuBar()->sizeHint().height()));

  // 4. The nodes are called from this thread and from the register access thread.
  CoUninitialize();
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);

  // 5-17. The link starts from the stored communication settings. A run
  // whose simulated board failed opens no port: COM1 is the user's own device.
  const bool boardMissing = options_.simulate && !options_.simulatedBoardFailure.isEmpty();
  if (boardMissing) ShowError(options_.simulatedBoardFailure);
  const TCommSettings comm = startSettings();
  showStart(link_->start(comm, boardMissing ? TSerialLink::PortAtStart::StayClosed : TSerialLink::PortAtStart::Open),
            comm);
}

TCommSettings TMainFrm::startSettings() const {
  const TCommSettings stored = TCommSettings::read();
  if (!options_.simulate) return stored;
  TCommSettings simulated = stored.forSimulatedBoard();
  if (!options_.simulatedBoardFailure.isEmpty()) simulated.port.clear();  // no entry checked: no port chosen
  return simulated;
}

void TMainFrm::showStart(const TLinkStartReport& report, const TCommSettings& comm) {
  if (report.port.settled) checkPort(report.port.entry);
  if (report.speed.settled) checkSpeed(report.speed.entry);
  if (report.timeOut) timeOut_ = *report.timeOut;
  // A stored speed the serial node cannot use stays as the person wrote it
  // until they choose one; until then a port choice does not connect.
  speedUsable_ = CommChoice::speedOfSettings(comm.settings).has_value() && link_->hasNodes() &&
                 link_->serialProperty("Settings") == comm.settings.toStdString();
  if (!speedUsable_) settingsKept_ = comm.settings;
  QStringList errors = report.errors;
  if (!report.connected && !errors.isEmpty() && link_->hasNodes() && !options_.simulate) {
    const bool portMissing = !CommChoice::portForText(comm.port);
    const QString missing = portMissing && !speedUsable_ ? QStringLiteral("choose a port and a speed under Serial Link")
                            : portMissing                ? QString::fromLatin1(kChoosePort)
                            : !speedUsable_              ? QString::fromLatin1(kChooseSpeed)
                                                         : QString();
    if (!missing.isEmpty()) errors.last() += QStringLiteral(" (%1)").arg(missing);
  }
  for (const QString& error : errors) ShowError(error);
  // The first read is on its way: its status replaces the notice.
  if (report.connected && report.errors.isEmpty()) errorDisplay_->showNotice(ErrorDisplay::ConnectingText);
}

void TMainFrm::boardReached() {
  if (!Connected() || boardReached_) return;
  boardReached_ = true;
  // Windows created before the link's first good read show it now.
  for (auto& [name, window] : toolWindows_) window->BoardReached();
}

void TMainFrm::setSerialPropertyOnly(const std::string& name, const std::string& value) {
  TCANRegAccessThread* thread = link_->regThread();
  if (!thread) return;
  // On the register access thread, after what it is doing; nothing is opened.
  thread->SubmitTask([link = link_, name, value](TRegisterSession&) { link->setSerialProperty(name, value); }, this,
                     [this](const TRegisterJobOutcome& outcome) {
                       if (!outcome.error.empty()) ShowError(QString::fromStdString(outcome.error));
                     });
}

void TMainFrm::checkPort(std::optional<int> port) {
  for (int i = 0; i < 3; ++i) portEntries_[std::size_t(i)]->setChecked(port == i + 1);
}

void TMainFrm::checkSpeed(std::optional<int> bitsPerSecond) {
  for (std::size_t i = 0; i < kSpeeds.size(); ++i) speedEntries_[i]->setChecked(bitsPerSecond == kSpeeds[i]);
}

std::optional<int> TMainFrm::checkedPort() const {
  for (int i = 0; i < 3; ++i)
    if (portEntries_[std::size_t(i)]->isChecked()) return i + 1;
  return std::nullopt;
}

std::optional<int> TMainFrm::checkedSpeed() const {
  for (std::size_t i = 0; i < kSpeeds.size(); ++i)
    if (speedEntries_[i]->isChecked()) return kSpeeds[i];
  return std::nullopt;
}

// ---- what the other windows use --------------------------------------------------------

bool TMainFrm::Connected() const {
  return link_->connected();
}

TCANRegAccessThread* TMainFrm::RegThread() const {
  return link_->regThread();
}

void TMainFrm::ShowError(const QString& message) {
  errorDisplay_->setText(message);
  // While the program closes the panel is about to go: the terminal keeps it.
  if (closing_ && !message.isEmpty()) std::fprintf(stderr, "vorelan: %s\n", message.toLocal8Bit().constData());
}

void TMainFrm::ShowProgress(const QString& text) {
  hintPanel_->showNow(text);
}

void TMainFrm::guarded(const std::function<void()>& handler) {
  errorDisplay_->newAction();
  try {
    handler();
  } catch (const std::exception& e) {
    ShowError(messageOf(e));
  } catch (...) {
    ShowError(QStringLiteral("Unknown error"));
  }
}

QString TMainFrm::chooseFile(const FileDialogSpec& dialog) {
  if (options_.chooseFile) return options_.chooseFile(dialog);
  return FileDialogs::run(dialog, this);
}

// ---- port and speed ------------------------------------------------------------------

void TMainFrm::COMSelClick(int port) {
  errorDisplay_->newAction();
  checkPort(port);
  if (!link_->hasNodes()) return;  // no node to configure: the program runs without a link
  if (!speedUsable_) {
    // The first connection needs both choices: this one is kept for the other.
    setSerialPropertyOnly("CommPort", std::to_string(port));
    ShowError(QStringLiteral("No speed chosen yet: %1").arg(QLatin1String(kChooseSpeed)));
    return;
  }
  errorDisplay_->showNotice(ErrorDisplay::ConnectingText);
  boardReached_ = false;
  link_->reconnectWith("CommPort", std::to_string(port));
}

void TMainFrm::SpeedSelClick(int bitsPerSecond) {
  errorDisplay_->newAction();
  checkSpeed(bitsPerSecond);
  if (!link_->hasNodes()) return;
  speedUsable_ = true;
  settingsKept_.reset();
  const std::string settings = CommChoice::settingsForSpeed(bitsPerSecond).toStdString();
  if (!checkedPort()) {
    setSerialPropertyOnly("Settings", settings);
    ShowError(QStringLiteral("No port chosen yet: %1").arg(QLatin1String(kChoosePort)));
    return;
  }
  errorDisplay_->showNotice(ErrorDisplay::ConnectingText);
  link_->reconnectWith("Settings", settings);
}

void TMainFrm::ConfigurePortsClick() {
  const QString path = PortMapEditor::filePath();
  if (path.isEmpty()) throw EAppError("No place for the port map: neither XDG_CONFIG_HOME nor HOME is set");
  const QString text = PortMapEditor::load(path);
  TPortsDlg dialog(text, PortMapEditor::findSerialDevices(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::map<int, QString> devices = dialog.chosenDevices();
  PortMapEditor::save(path, PortMapEditor::withEntries(text, devices));
  // The checked port now names another device: connect to it.
  const std::optional<int> port = checkedPort();
  if (port && PortMapEditor::entry(text, *port) != devices.at(*port)) COMSelClick(*port);
}

// ---- files -----------------------------------------------------------------------------

void TMainFrm::RegLoadClick() {
  if (!options_.registerLoad || registerFileBusy_) return;
  const QString path = chooseFile(FileDialogs::openRegisters());
  if (!path.isEmpty()) runRegisterFile(options_.registerLoad, path);
}

void TMainFrm::RegSaveClick() {
  if (!options_.registerSave || registerFileBusy_) return;
  const QString path = chooseFile(FileDialogs::saveRegisters());
  if (!path.isEmpty()) runRegisterFile(options_.registerSave, path);
}

void TMainFrm::runRegisterFile(const RegisterFileAction& action, const QString& path) {
  setRegisterFileBusy(true);
  try {
    action(*this, path, [this] { setRegisterFileBusy(false); });
  } catch (...) {
    setRegisterFileBusy(false);
    throw;
  }
}

void TMainFrm::setRegisterFileBusy(bool busy) {
  registerFileBusy_ = busy;
  action(QStringLiteral("RegLoad"))->setEnabled(!busy && options_.registerLoad);
  action(QStringLiteral("RegSave"))->setEnabled(!busy && options_.registerSave);
  if (busy)
    statusBar()->setCursor(Qt::BusyCursor);
  else
    statusBar()->unsetCursor();
}

void TMainFrm::openFile(const QString& path) {
  const QString suffix = QFileInfo(path).suffix();
  if (!QFileInfo::exists(path))
    throw EAppError(QStringLiteral("Unable to open %1: no such file").arg(path).toStdString());
  const auto is = [&](const QString& pattern) { return pattern.compare("*." + suffix, Qt::CaseInsensitive) == 0; };
  if (options_.registerLoad && is(FileDialogs::firstPattern(FileDialogs::registerFilter()))) {
    if (registerFileBusy_)
      throw EAppError(
          QStringLiteral("%1 not loaded: another register file is being loaded or saved").arg(path).toStdString());
    runRegisterFile(options_.registerLoad, path);
    return;
  }
  for (const ToolWindowEntry& window : options_.toolWindows)
    for (const FileMenuEntry& entry : window.fileEntries) {
      TToolWindow* tool = toolWindow(window.componentName);
      if (entry.dialog.mode != FileDialogSpec::Mode::Open || !is(FileDialogs::firstPattern(entry.dialog.filter)) ||
          !tool || !tool->HandlesFileEntry(entry.objectName))
        continue;
      showToolWindow(window.componentName);
      tool->RunFileEntry(entry.objectName, path);
      return;
    }
  throw EAppError(QStringLiteral("Unable to open %1: Vorelan opens register files (.rgr) and trace files (.trc)")
                      .arg(path)
                      .toStdString());
}

QStringList TMainFrm::openFiles(const QStringList& paths) {
  QStringList failures;
  for (const QString& path : paths) {
    try {
      openFile(path);
    } catch (const std::exception& e) {
      failures << messageOf(e);
    }
  }
  if (!failures.isEmpty()) ShowError(failures.join(QStringLiteral("; ")));
  return failures;
}

void TMainFrm::ToolFileClick(const ToolWindowEntry& window, const FileMenuEntry& entry) {
  TToolWindow* tool = toolWindow(window.componentName);
  if (!tool || !tool->HandlesFileEntry(entry.objectName)) return;
  const QString path = chooseFile(entry.dialog);
  if (!path.isEmpty()) tool->RunFileEntry(entry.objectName, path);
}

// ---- help -------------------------------------------------------------------------------

void TMainFrm::HelpClick() {
  HelpViewer::showPage(HelpTopics::helpFileName());
}

QString TMainFrm::helpCommandForActiveWindow() const {
  // A window of its own that is none of ours (the About box, a dialog) has no
  // page, even though it belongs to the main window.
  if (const QWidget* focus = QApplication::focusWidget()) {
    const QWidget* top = focus->window();
    bool ours = false;
    for (const TRegPosSavedFrm* form : TRegPosSavedFrm::forms()) ours = ours || form->form()->window() == top;
    if (!ours) return HelpTopics::commandForWindow(QString());
  }
  TRegPosSavedFrm* active = TRegPosSavedFrm::activeForm();
  return HelpTopics::commandForWindow(active ? active->componentName() : QString());
}

void TMainFrm::HelpOnWindowClick() {
  HelpViewer::showPage(helpCommandForActiveWindow());
}

void TMainFrm::AboutClick() {
  TAboutFrm about(this);
  about.exec();
}

// ---- tool windows ------------------------------------------------------------------

void TMainFrm::fitToScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect free = screen->availableGeometry();
  // The window manager's frame comes on top of this size.
  const QSize size = QSize(free.width() * 9 / 10, free.height() * 9 / 10).expandedTo(minimumSizeHint());
  resize(size);
  move(free.center() - QPoint(size.width() / 2, size.height() / 2));
}

void TMainFrm::arrangeNewToolWindows(const QList<QMdiSubWindow*>& windows) {
  // The dock and the client area take their sizes in the main window's layout.
  if (QLayout* frame = layout()) frame->activate();
  QList<QMdiSubWindow*> shown;
  for (QMdiSubWindow* sub : windows)
    if (!sub->isHidden()) shown << sub;
  clientArea_->placeSideBySide(shown);
}

void TMainFrm::createToolWindows() {
  QList<QPointer<QMdiSubWindow>> unplaced;
  for (const ToolWindowEntry* entry : ToolWindows::InCreationOrder(options_.toolWindows)) {
    if (!entry->factory || toolWindows_.count(entry->componentName)) continue;
    TToolWindow* window = nullptr;
    try {
      window = entry->factory(*this);
    } catch (const std::exception& e) {
      ShowError(messageOf(e));
      continue;
    }
    if (!window) continue;
    toolWindows_[entry->componentName] = window;
    placeToolWindow(window);
    window->createForm();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->form()->parentWidget()); sub && !window->positionStored())
      unplaced << sub;
  }
  updateToolEntries();
  // Once the event loop runs: the main window is shown and its dock in place.
  if (!unplaced.isEmpty())
    QTimer::singleShot(0, this, [this, unplaced] {
      QList<QMdiSubWindow*> windows;
      for (const QPointer<QMdiSubWindow>& sub : unplaced)
        if (sub) windows << sub;
      arrangeNewToolWindows(windows);
    });
}

void TMainFrm::placeToolWindow(TToolWindow* window) {
  if (auto* dock = qobject_cast<QDockWidget*>(window->form())) {
    const bool floating = dock->isFloating();
    const QRect geometry = dock->geometry();
    addDockWidget(dockLayout_->lastDockSite(), dock);
    if (floating) {
      dock->setFloating(true);
      dock->setGeometry(geometry);
    }
    dockLayout_->watch(dock);
    return;
  }
  QMdiSubWindow* sub = clientArea_->addSubWindow(window->form());
  sub->setWindowIcon(windowIcon());
  // The system menu's Close also claims Ctrl+F4, which opens the Filters
  // window: a key claimed twice would do neither. Close keeps its other keys.
  if (QMenu* systemMenu = sub->systemMenu())
    for (QAction* entry : systemMenu->actions()) {
      QList<QKeySequence> keys = entry->shortcuts();
      for (const auto& [name, windowEntry] : windowEntries_) keys.removeAll(windowEntry->shortcut());
      entry->setShortcuts(keys);
    }
}

TToolWindow* TMainFrm::toolWindow(const QString& componentName) const {
  const auto it = toolWindows_.find(componentName);
  return it == toolWindows_.end() ? nullptr : it->second;
}

void TMainFrm::updateToolEntries() {
  for (auto& [name, entry] : windowEntries_) entry->setEnabled(toolWindow(name) != nullptr);
  for (auto& [entry, name] : toolFileEntries_) {
    const TToolWindow* window = toolWindow(name);
    entry->setEnabled(window && window->HandlesFileEntry(entry->objectName()));
  }
  setRegisterFileBusy(registerFileBusy_);
}

void TMainFrm::showToolWindow(const QString& componentName) {
  TToolWindow* tool = toolWindow(componentName);
  if (!tool) return;
  QWidget* window = tool->form();
  if (auto* dock = qobject_cast<QDockWidget*>(window)) {
    if (dock->isHidden()) dockLayout_->dockIntoLastSite(dock);
    dock->show();
    dock->raise();
    return;
  }
  if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget())) {
    sub->showNormal();
    sub->show();
    window->show();
    clientArea_->setActiveSubWindow(sub);
    return;
  }
  window->showNormal();
  window->show();
}

void TMainFrm::disableToolTimers() {
  for (auto& [name, window] : toolWindows_)
    for (TThreadedTimer* timer : window->Timers()) timer->setEnabled(false);
}

// ---- closing -----------------------------------------------------------------------------

std::chrono::milliseconds TMainFrm::closeLimit() const {
  return timeOut_ + std::chrono::seconds(1);
}

void TMainFrm::closeEvent(QCloseEvent* event) {
  if (closing_) {
    // Already closing (the close waits for the thread while it processes
    // events): this second request changes nothing.
    event->ignore();
    return;
  }
  closing_ = true;
  closeForm(event);
}

void TMainFrm::formClose(QCloseEvent* event) {
  const QDeadlineTimer deadline(closeLimit());
  // 1, 2.
  disableToolTimers();
  clientArea_->setPaintingHooked(false);
  // 3-5. Stop the thread; an access in progress returns at once.
  link_->requestStop();
  // 6. The termination handler closes the nodes and saves the settings.
  const auto left = std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime() - 100));
  if (!link_->waitForTermination(left)) {
    std::fprintf(stderr, "vorelan: the register access thread did not end in time; leaving it behind\n");
    writeCommSettings();
    link_->abandon();
  }
  // 7.
  if (auto* app = TApplication::instance()) app->setErrorHandler({});
  hintPanel_->detach();
  closeCompleted_ = true;
  event->accept();
}

void TMainFrm::writeCommSettings() {
  if (options_.simulate || !link_->hasNodes()) return;  // the simulated board's port is for this run only
  try {
    TCommSettings comm;
    comm.port = CommChoice::portTextToSave(checkedPort());
    comm.settings = settingsKept_.value_or(QString::fromStdString(link_->serialProperty("Settings")));
    comm.timeOut = QString::fromStdString(link_->protocolProperty("TimeOut"));
    comm.write();  // a settings failure is ignored
  } catch (const std::exception&) {
    // A node that cannot tell its properties leaves the stored settings as they were.
  }
}
