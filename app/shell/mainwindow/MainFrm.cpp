#include "MainFrm.h"

#include "AboutFrm.h"
#include "AppError.h"
#include "CanShareEntry.h"
#include "ClientArea.h"
#include "ComRuntime.h"
#include "DockLayout.h"
#include "ErrorDisplay.h"
#include "FileDialogs.h"
#include "FileMenuActions.h"
#include "FirstStartLayout.h"
#include "HelpTopics.h"
#include "HelpViewer.h"
#include "HintPanel.h"
#include "LinkChoices.h"
#include "Pictures.h"
#include "PortMapEditor.h"
#include "PortsDlg.h"
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
#include <QFrame>
#include <QIcon>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cstdio>

namespace {

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
      linkChoices_(std::make_unique<TLinkChoices>(*this)),
      fileActions_(std::make_unique<TFileMenuActions>(*this, options_)),
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
  connect(link_, &TSerialLink::nodesClosed, this, [this] { linkChoices_->writeSettings(options_.simulate); });
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
  for (const TToolWindowEntry& window : options_.toolWindows)
    for (const TFileMenuEntry& entry : window.fileEntries) {
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
  std::array<QAction*, 3> portEntries{};
  for (int port = 1; port <= 3; ++port) {
    QAction* entry = addEntry(ports, QStringLiteral("COM%1").arg(port), QStringLiteral("COM &%1").arg(port),
                              QStringLiteral("Comm port %1|Select communication port number %1.").arg(port),
                              QKeySequence(), [this, port] { COMSelClick(port); });
    entry->setCheckable(true);
    portEntries[std::size_t(port - 1)] = entry;
  }
  QMenu* speeds = link->addMenu(QStringLiteral("&Speed"));
  speeds->setObjectName(QStringLiteral("SpeedMenu"));
  std::array<QAction*, 3> speedEntries{};
  for (std::size_t i = 0; i < TLinkChoices::kSpeeds.size(); ++i) {
    const int speed = TLinkChoices::kSpeeds[i];
    QAction* entry =
        addEntry(speeds, QStringLiteral("Speed%1").arg(speed), QStringLiteral("&%1 bps").arg(speed),
                 QStringLiteral("%1 bauds").arg(speed), QKeySequence(), [this, speed] { SpeedSelClick(speed); });
    entry->setCheckable(true);
    speedEntries[i] = entry;
  }
  // The design checks COM 1 and 9600 bit/s; the stored settings decide at start-up.
  portEntries[0]->setChecked(true);
  speedEntries[1]->setChecked(true);
  linkChoices_->setEntries(portEntries, speedEntries);
  link->addSeparator();
  addEntry(link, QStringLiteral("ConfigurePorts"), QStringLiteral("Configure &ports..."),
           QStringLiteral("Configure ports|Choose the serial device of each comm port."), QKeySequence(),
           [this] { ConfigurePortsClick(); });
  auto* canShare =
      new TCanShareEntry(*this, *this, [this](const TFileDialogSpec& dialog) { return chooseFile(dialog); });
  addEntry(link, QStringLiteral("ShareCan"), QStringLiteral("Share as CAN &interface..."),
           QStringLiteral("Share as CAN interface|Serve the board's CAN cell as an SLCAN interface for CAN tools "
                          "(python-can, slcand); click again to end it."),
           QKeySequence(), [canShare] { canShare->click(); })
      ->setCheckable(true);

  QMenu* windows = bar->addMenu(QStringLiteral("&Windows"));
  windows->setObjectName(QStringLiteral("WindowsMenu"));
  for (const TToolWindowEntry& window : options_.toolWindows) {
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
  bar->setFixedHeight(TErrorDisplay::kHeight);
  errorDisplay_ = new TErrorDisplay(bar);
  hintPanel_ = new THintPanel(bar);
  bar->addWidget(errorDisplay_);
  bar->addWidget(hintPanel_, 1);
}

QAction* TMainFrm::action(const QString& objectName) const {
  return findChild<QAction*>(objectName);
}

// ---- start-up ---------------------------------------------------------------------

void TMainFrm::formCreate() {
  if (!positionStored()) FirstStartLayout::fitToScreen(*this);
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

  // 5-17. The link starts from the stored communication settings.
  linkChoices_->start(options_.simulate, options_.simulatedBoardFailure);
}

void TMainFrm::boardReached() {
  if (!Connected() || boardReached_) return;
  boardReached_ = true;
  // Windows created before the link's first good read show it now.
  for (auto& [name, window] : toolWindows_) window->BoardReached();
}

std::optional<int> TMainFrm::checkedPort() const {
  return linkChoices_->checkedPort();
}

std::optional<int> TMainFrm::checkedSpeed() const {
  return linkChoices_->checkedSpeed();
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

void TMainFrm::ShowStatusError(const QString& message) {
  errorDisplay_->showStatus(message);
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

QString TMainFrm::chooseFile(const TFileDialogSpec& dialog) {
  if (options_.chooseFile) return options_.chooseFile(dialog);
  return FileDialogs::run(dialog, this);
}

// ---- port and speed ------------------------------------------------------------------

void TMainFrm::COMSelClick(int port) {
  errorDisplay_->newAction();
  if (linkChoices_->choosePort(port)) boardReached_ = false;
}

void TMainFrm::SpeedSelClick(int bitsPerSecond) {
  errorDisplay_->newAction();
  linkChoices_->chooseSpeed(bitsPerSecond);
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
  fileActions_->loadRegisters();
}

void TMainFrm::RegSaveClick() {
  fileActions_->saveRegisters();
}

bool TMainFrm::registerFileBusy() const {
  return fileActions_->busy();
}

QStringList TMainFrm::openFiles(const QStringList& paths) {
  return fileActions_->openFiles(paths);
}

void TMainFrm::ToolFileClick(const TToolWindowEntry& window, const TFileMenuEntry& entry) {
  fileActions_->runToolEntry(window, entry);
}

// ---- help -------------------------------------------------------------------------------

void TMainFrm::HelpClick() {
  THelpViewer::showPage(HelpTopics::helpFileName());
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
  THelpViewer::showPage(helpCommandForActiveWindow());
}

void TMainFrm::AboutClick() {
  TAboutFrm about(this);
  about.exec();
}

// ---- tool windows ------------------------------------------------------------------

void TMainFrm::createToolWindows() {
  QList<QPointer<QMdiSubWindow>> unplaced;
  for (const TToolWindowEntry* entry : ToolWindows::InCreationOrder(options_.toolWindows)) {
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
  FirstStartLayout::arrangeOnceShown(*this, *clientArea_, unplaced);
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
  fileActions_->setBusy(fileActions_->busy());
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
  return linkChoices_->timeOut() + std::chrono::seconds(1);
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
    linkChoices_->writeSettings(options_.simulate);
    link_->abandon();
  }
  // 7.
  if (auto* app = TApplication::instance()) app->setErrorHandler({});
  hintPanel_->detach();
  closeCompleted_ = true;
  event->accept();
}
