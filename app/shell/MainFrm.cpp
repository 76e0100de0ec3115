#include "MainFrm.h"

#include "AboutFrm.h"
#include "AppError.h"
#include "ClientArea.h"
#include "CommSettings.h"
#include "ComRuntime.h"
#include "DockLayout.h"
#include "ErrorDisplay.h"
#include "HelpTopics.h"
#include "HelpViewer.h"
#include "HintPanel.h"
#include "Pictures.h"
#include "PortMapEditor.h"
#include "PortsDlg.h"
#include "ProfileFile.h"
#include "SerialLink.h"
#include "ThrTimer.h"
#include "VorelanApp.h"
#include "canregthread.h"

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
#include <QStatusBar>
#include <QVBoxLayout>

#include <cstdio>

namespace {

TMainFrm* g_instance = nullptr;

constexpr std::array<int, 3> kSpeeds{4800, 9600, 19200};

// The Windows menu's entries of the tool windows, in menu order.
struct WindowEntry
{
    const char* componentName;
    const char* objectName;
    const char* caption;
    QKeyCombination shortcut;
    const char* hint;
};

const std::array<WindowEntry, 5> kWindowEntries{{
    {"RegFrm", "WinRegisters", "&Registers", Qt::CTRL | Qt::Key_F1,
     "Show register values|Click to see current register values."},
    {"TraceFrm", "WinTrace", "&Trace", Qt::CTRL | Qt::Key_F2,
     "Trace informations|Click to trace messages received by the CAN cell."},
    {"BitSetFrm", "WinBitSettings", "&Bit Settings", Qt::CTRL | Qt::Key_F3,
     "Bit settings|Click to set CAN configuration."},
    {"FiltersFrm", "WinFilters", "&Filters", Qt::CTRL | Qt::Key_F4,
     "Set Filters behaviour|Click to set CAN cell messages filtering function."},
    // Ctrl+F4 belongs to the Filters entry above.
    {"TransmitFrm", "WinTransmission", "&Transmission", Qt::CTRL | Qt::Key_F5,
     "Transmit a message with CAN|Click to transmit a message with the CAN cell."},
}};

QString messageOf(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

} // namespace

TMainFrm::TMainFrm()
    : TMainFrm(Options())
{
}

TMainFrm::TMainFrm(Options options)
    : QMainWindow(nullptr)
    , TRegPosSavedFrm(this, Role::Main)
    , m_options(std::move(options))
    , m_link(new TSerialLink(this))
    , m_dockLayout(new TDockLayout(this))
{
    g_instance = this;
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Vorelan 1.1"));
    setWindowIcon(QIcon(QPixmap::fromImage(Pictures::aboutPicture().copy(28, 20, 88, 86))));
    setDockOptions(QMainWindow::AnimatedDocks);

    buildClientArea();
    buildMenus();
    buildStatusBar();
    updateToolEntries();

    connect(m_link, &TSerialLink::statusReport, this, [this](const QString& status) { ShowError(status); });
    connect(m_link, &TSerialLink::nodesClosed, this, [this] { writeCommSettings(); });
    m_dockLayout->setOnChange([this] { m_clientArea->arrangeIcons(); });

    resize(kDesignClient.width(), kDesignClient.height() + menuBar()->sizeHint().height());
}

TMainFrm::~TMainFrm()
{
    // The tool windows go first: they may still copy the thread's images.
    for (auto& [name, form] : m_toolWindows)
        delete form->form();
    m_toolWindows.clear();
    delete m_link;
    if (auto* app = TApplication::instance(); app && !m_closeCompleted)
        app->setErrorHandler({});
    if (g_instance == this)
        g_instance = nullptr;
}

TMainFrm* TMainFrm::instance()
{
    return g_instance;
}

// ---- construction -------------------------------------------------------------

void TMainFrm::buildClientArea()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_topLine = new QFrame(central);
    m_topLine->setObjectName(QStringLiteral("Panel1"));
    m_topLine->setFrameShape(QFrame::HLine);
    m_topLine->setFrameShadow(QFrame::Sunken);
    m_topLine->setFixedHeight(2);
    m_clientArea = new TClientArea(central);
    column->addWidget(m_topLine);
    column->addWidget(m_clientArea, 1);
    setCentralWidget(central);
}

QAction* TMainFrm::addEntry(QMenu* menu, const QString& objectName, const QString& caption, const QString& hint,
                            const QKeySequence& shortcut, std::function<void()> handler)
{
    auto* entry = new QAction(caption, this);
    entry->setObjectName(objectName);
    if (!hint.isEmpty())
        Hint::apply(entry, hint);
    if (!shortcut.isEmpty())
        entry->setShortcut(shortcut);
    connect(entry, &QAction::triggered, this, [this, handler = std::move(handler)] { guarded(handler); });
    menu->addAction(entry);
    return entry;
}

void TMainFrm::buildMenus()
{
    QMenuBar* bar = menuBar();

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    addEntry(file, QStringLiteral("RegLoad"), QStringLiteral("&Load Register values"),
             QStringLiteral("Load previous saved register values|Click to open previous saved register values."),
             QKeySequence(Qt::CTRL | Qt::Key_O), [this] { RegLoadClick(); });
    addEntry(file, QStringLiteral("RegSave"), QStringLiteral("&Save Register values"),
             QStringLiteral("Save current register values|Click to save current register values."),
             QKeySequence(Qt::CTRL | Qt::Key_S), [this] { RegSaveClick(); });
    addEntry(file, QStringLiteral("TraceLoad"), QStringLiteral("Load &Trace"),
             QStringLiteral("Load previous saved trace|Click to open previous saved trace."), QKeySequence(),
             [this] { TraceLoadClick(); });
    addEntry(file, QStringLiteral("TraceSave"), QStringLiteral("Save T&race"),
             QStringLiteral("Save current trace|Click to save current trace."), QKeySequence(),
             [this] { TraceSaveClick(); });
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
        m_portEntries[std::size_t(port - 1)] = entry;
    }
    QMenu* speeds = link->addMenu(QStringLiteral("&Speed"));
    speeds->setObjectName(QStringLiteral("SpeedMenu"));
    for (std::size_t i = 0; i < kSpeeds.size(); ++i) {
        const int speed = kSpeeds[i];
        QAction* entry = addEntry(speeds, QStringLiteral("Speed%1").arg(speed), QStringLiteral("&%1 bps").arg(speed),
                                  QStringLiteral("%1 bauds").arg(speed), QKeySequence(),
                                  [this, speed] { SpeedSelClick(speed); });
        entry->setCheckable(true);
        m_speedEntries[i] = entry;
    }
    // The design checks COM 1 and 9600 bit/s; the stored settings decide at start-up.
    m_portEntries[0]->setChecked(true);
    m_speedEntries[1]->setChecked(true);
    link->addSeparator();
    addEntry(link, QStringLiteral("ConfigurePorts"), QStringLiteral("Configure &ports..."),
             QStringLiteral("Configure ports|Choose the serial device of each comm port."), QKeySequence(),
             [this] { ConfigurePortsClick(); });

    QMenu* windows = bar->addMenu(QStringLiteral("&Windows"));
    windows->setObjectName(QStringLiteral("WindowsMenu"));
    for (const WindowEntry& e : kWindowEntries) {
        const QString name = QString::fromLatin1(e.componentName);
        m_windowEntries[name] = addEntry(windows, QString::fromLatin1(e.objectName), QString::fromLatin1(e.caption),
                                         QString::fromLatin1(e.hint), QKeySequence(e.shortcut),
                                         [this, name] { showToolWindow(name); });
    }
    windows->addSeparator();
    addEntry(windows, QStringLiteral("Cascade"), QStringLiteral("&Cascade"), QStringLiteral("Cascade child windows"),
             QKeySequence(), [this] { m_clientArea->cascadeSubWindows(); });
    addEntry(windows, QStringLiteral("TileHorizontally"), QStringLiteral("Tile &Horizontally"),
             QStringLiteral("Tile child windows"), QKeySequence(), [this] { m_clientArea->tileHorizontally(); });
    addEntry(windows, QStringLiteral("TileVertically"), QStringLiteral("Tile &Vertically"),
             QStringLiteral("Tile child windows"), QKeySequence(), [this] { m_clientArea->tileVertically(); });
    addEntry(windows, QStringLiteral("ArrangeIcons"), QStringLiteral("&Arrange icons"),
             QStringLiteral("Arrange minimized windows"), QKeySequence(), [this] { m_clientArea->arrangeIcons(); });

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    addEntry(help, QStringLiteral("Help"), QStringLiteral("&Help"), QString(), QKeySequence(), [this] { HelpClick(); });
    addEntry(help, QStringLiteral("HelpOnWindow"), QStringLiteral("Help on current &window"), QString(),
             QKeySequence(), [this] { HelpOnWindowClick(); });
    help->addSeparator();
    addEntry(help, QStringLiteral("About"), QStringLiteral("&About"), QStringLiteral("Click to know more about Vorelan"),
             QKeySequence(), [this] { AboutClick(); });

    // The short part of each hint shows as the entry's tool tip.
    for (QMenu* menu : {file, link, ports, speeds, windows, help})
        menu->setToolTipsVisible(true);
}

void TMainFrm::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setFixedHeight(ErrorDisplay::kHeight);
    m_errorDisplay = new ErrorDisplay(bar);
    m_hintPanel = new HintPanel(bar);
    bar->addWidget(m_errorDisplay);
    bar->addWidget(m_hintPanel, 1);
}

QAction* TMainFrm::action(const QString& objectName) const
{
    return findChild<QAction*>(objectName);
}

// ---- start-up ---------------------------------------------------------------------

void TMainFrm::formCreate()
{
    // 1. The client area draws the background and the logo.
    m_clientArea->setPaintingHooked(true);

    // 2. Errors escaping a handler go to the error display, hints to panel 1.
    if (auto* app = TApplication::instance())
        app->setErrorHandler([this](const QString& message) { ShowError(message); });
    m_hintPanel->attachTo(this);

    // 3. Dock sizes: a third of the client area as restored.
    m_dockLayout->setSizesFromClient(QSize(width(), height() - menuBar()->sizeHint().height()));

    // 4. The nodes are called from this thread and from the register access thread.
    CoUninitialize();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);

    // 5, 6. The nodes; without them the program runs with no link and no thread.
    m_link->setConnected(true);
    try {
        m_link->createNodes();
    } catch (const std::exception& e) {
        ShowError(messageOf(e));
        m_link->setConnected(false);
        return;
    }

    // 7. The stored communication settings (a missing value reads as empty).
    TCommSettings comm = TCommSettings::read();
    if (m_options.simulate) {
        comm.port = QStringLiteral("1");
        if (!CommChoice::speedOfSettings(comm.settings))
            comm.settings = CommChoice::settingsForSpeed(19200);
    }

    // 8, 9. The port.
    try {
        m_link->setSerialProperty("CommPort", comm.port.toStdString());
    } catch (const std::exception& e) {
        ShowError(messageOf(e));
        m_link->setConnected(false);
    }
    if (m_link->connected())
        checkPort(CommChoice::portForText(comm.port));

    // 10, 11. The serial settings.
    try {
        m_link->setSerialProperty("Settings", comm.settings.toStdString());
    } catch (const std::exception& e) {
        ShowError(messageOf(e));
        m_link->setConnected(false);
    }
    if (m_link->connected())
        checkSpeed(CommChoice::speedForText(comm.settings));

    // 12. The answer time-out.
    try {
        m_link->setProtocolProperty("TimeOut", comm.timeOut.toStdString());
        m_timeOut = std::chrono::milliseconds(std::max(0, QString::fromStdString(m_link->protocolProperty("TimeOut")).toInt()));
    } catch (const std::exception& e) {
        ShowError(messageOf(e));
        m_link->setConnected(false);
    }

    // 14, 15. Stack the nodes; the thread starts and waits for the register lock.
    try {
        m_link->stackNodes();
        m_link->startThread();
    } catch (const std::exception& e) {
        ShowError(messageOf(e));
        m_link->setConnected(false);
        return;
    }

    // 16, 17. Open the link unless a property was rejected.
    try {
        m_link->connectAtStart();
    } catch (const std::exception& e) {
        ShowError(messageOf(e));
    }
}

void TMainFrm::checkPort(std::optional<int> port)
{
    for (int i = 0; i < 3; ++i)
        m_portEntries[std::size_t(i)]->setChecked(port == i + 1);
}

void TMainFrm::checkSpeed(std::optional<int> bitsPerSecond)
{
    for (std::size_t i = 0; i < kSpeeds.size(); ++i)
        m_speedEntries[i]->setChecked(bitsPerSecond == kSpeeds[i]);
}

std::optional<int> TMainFrm::checkedPort() const
{
    for (int i = 0; i < 3; ++i)
        if (m_portEntries[std::size_t(i)]->isChecked())
            return i + 1;
    return std::nullopt;
}

std::optional<int> TMainFrm::checkedSpeed() const
{
    for (std::size_t i = 0; i < kSpeeds.size(); ++i)
        if (m_speedEntries[i]->isChecked())
            return kSpeeds[i];
    return std::nullopt;
}

// ---- what the other windows use --------------------------------------------------------

bool TMainFrm::Connected() const
{
    return m_link->connected();
}

TCANRegAccessThread* TMainFrm::RegThread() const
{
    return m_link->regThread();
}

void TMainFrm::ShowError(const QString& message)
{
    m_errorDisplay->setText(message);
}

void TMainFrm::ShowProgress(const QString& text)
{
    m_hintPanel->showNow(text);
}

void TMainFrm::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(messageOf(e));
    } catch (...) {
        ShowError(QStringLiteral("Unknown error"));
    }
}

QString TMainFrm::chooseFile(FileDialogs::Kind kind)
{
    if (m_options.chooseFile)
        return m_options.chooseFile(kind);
    return FileDialogs::run(kind, this);
}

// ---- port and speed ------------------------------------------------------------------

void TMainFrm::COMSelClick(int port)
{
    checkPort(port);
    if (!m_link->hasNodes())
        return; // no node to configure: the program runs without a link
    try {
        m_link->reconnectWith("CommPort", std::to_string(port));
    } catch (const std::exception& e) {
        ShowError(messageOf(e));
    }
}

void TMainFrm::SpeedSelClick(int bitsPerSecond)
{
    checkSpeed(bitsPerSecond);
    if (!m_link->hasNodes())
        return;
    try {
        m_link->reconnectWith("Settings", CommChoice::settingsForSpeed(bitsPerSecond).toStdString());
    } catch (const std::exception& e) {
        ShowError(messageOf(e));
    }
}

void TMainFrm::ConfigurePortsClick()
{
    const QString path = PortMapEditor::filePath();
    if (path.isEmpty())
        throw EAppError("No place for the port map: neither XDG_CONFIG_HOME nor HOME is set");
    const QString text = PortMapEditor::load(path);
    TPortsDlg dialog(text, PortMapEditor::findSerialDevices(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::map<int, QString> devices = dialog.chosenDevices();
    PortMapEditor::save(path, PortMapEditor::withEntries(text, devices));
    // The checked port now names another device: connect to it.
    const std::optional<int> port = checkedPort();
    if (port && PortMapEditor::entry(text, *port) != devices.at(*port))
        COMSelClick(*port);
}

// ---- files -----------------------------------------------------------------------------

void TMainFrm::RegLoadClick()
{
    if (!m_options.catalog.registerLoad())
        return;
    const QString path = chooseFile(FileDialogs::Kind::OpenRegisters);
    if (!path.isEmpty())
        m_options.catalog.registerLoad()(*this, path);
}

void TMainFrm::RegSaveClick()
{
    if (!m_options.catalog.registerSave())
        return;
    const QString path = chooseFile(FileDialogs::Kind::SaveRegisters);
    if (!path.isEmpty())
        m_options.catalog.registerSave()(*this, path);
}

TTraceFiles* TMainFrm::traceFiles() const
{
    TRegPosSavedFrm* trace = toolWindow(QStringLiteral("TraceFrm"));
    return trace ? dynamic_cast<TTraceFiles*>(trace) : nullptr;
}

void TMainFrm::TraceLoadClick()
{
    TTraceFiles* trace = traceFiles();
    if (!trace)
        return;
    const QString path = chooseFile(FileDialogs::Kind::OpenTrace);
    if (path.isEmpty())
        return;
    ProfileFile file(path);
    if (!file.loadError().isEmpty())
        throw EAppError(file.loadError().toStdString());
    trace->LoadTrace(file);
}

void TMainFrm::TraceSaveClick()
{
    TTraceFiles* trace = traceFiles();
    if (!trace)
        return;
    const QString path = chooseFile(FileDialogs::Kind::SaveTrace);
    if (path.isEmpty())
        return;
    ProfileFile file(path);
    trace->SaveTrace(file);
    file.save();
}

// ---- help -------------------------------------------------------------------------------

void TMainFrm::HelpClick()
{
    HelpViewer::showPage(HelpTopics::helpFileName());
}

QString TMainFrm::helpCommandForActiveWindow() const
{
    // A window of its own that is none of ours (the About box, a dialog) has no
    // page, even though it belongs to the main window.
    if (const QWidget* focus = QApplication::focusWidget()) {
        const QWidget* top = focus->window();
        bool ours = false;
        for (const TRegPosSavedFrm* form : TRegPosSavedFrm::forms())
            ours = ours || form->form()->window() == top;
        if (!ours)
            return HelpTopics::commandForWindow(QString());
    }
    TRegPosSavedFrm* active = TRegPosSavedFrm::activeForm();
    return HelpTopics::commandForWindow(active ? active->componentName() : QString());
}

void TMainFrm::HelpOnWindowClick()
{
    HelpViewer::showPage(helpCommandForActiveWindow());
}

void TMainFrm::AboutClick()
{
    TAboutFrm about(this);
    about.exec();
}

// ---- tool windows ------------------------------------------------------------------

void TMainFrm::createToolWindows()
{
    for (const QString& name : ToolWindowCatalog::creationOrder()) {
        const ToolWindowCatalog::Factory factory = m_options.catalog.factory(name);
        if (!factory || m_toolWindows.count(name))
            continue;
        TRegPosSavedFrm* form = nullptr;
        try {
            form = factory(*this);
        } catch (const std::exception& e) {
            ShowError(messageOf(e));
            continue;
        }
        if (!form)
            continue;
        m_toolWindows[name] = form;
        for (TThreadedTimer* timer : form->form()->findChildren<TThreadedTimer*>())
            connect(timer, &TThreadedTimer::tickError, this, &TMainFrm::ShowError);
        placeToolWindow(form);
        form->createForm();
    }
    updateToolEntries();
}

void TMainFrm::placeToolWindow(TRegPosSavedFrm* form)
{
    if (auto* dock = qobject_cast<QDockWidget*>(form->form())) {
        const bool floating = dock->isFloating();
        const QRect geometry = dock->geometry();
        addDockWidget(m_dockLayout->lastDockSite(), dock);
        if (floating) {
            dock->setFloating(true);
            dock->setGeometry(geometry);
        }
        m_dockLayout->watch(dock);
        return;
    }
    QMdiSubWindow* sub = m_clientArea->addSubWindow(form->form());
    sub->setWindowIcon(windowIcon());
}

TRegPosSavedFrm* TMainFrm::toolWindow(const QString& componentName) const
{
    const auto it = m_toolWindows.find(componentName);
    return it == m_toolWindows.end() ? nullptr : it->second;
}

void TMainFrm::updateToolEntries()
{
    for (auto& [name, entry] : m_windowEntries)
        entry->setEnabled(toolWindow(name) != nullptr);
    action(QStringLiteral("TraceLoad"))->setEnabled(traceFiles() != nullptr);
    action(QStringLiteral("TraceSave"))->setEnabled(traceFiles() != nullptr);
    action(QStringLiteral("RegLoad"))->setEnabled(bool(m_options.catalog.registerLoad()));
    action(QStringLiteral("RegSave"))->setEnabled(bool(m_options.catalog.registerSave()));
}

void TMainFrm::showToolWindow(const QString& componentName)
{
    TRegPosSavedFrm* form = toolWindow(componentName);
    if (!form)
        return;
    QWidget* window = form->form();
    if (auto* dock = qobject_cast<QDockWidget*>(window)) {
        if (dock->isHidden())
            m_dockLayout->dockIntoLastSite(dock);
        dock->show();
        dock->raise();
        return;
    }
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget())) {
        sub->showNormal();
        sub->show();
        window->show();
        m_clientArea->setActiveSubWindow(sub);
        return;
    }
    window->showNormal();
    window->show();
}

void TMainFrm::disableToolTimers()
{
    for (auto& [name, form] : m_toolWindows)
        for (TThreadedTimer* timer : form->form()->findChildren<TThreadedTimer*>())
            timer->setEnabled(false);
}

// ---- closing -----------------------------------------------------------------------------

std::chrono::milliseconds TMainFrm::closeLimit() const
{
    return m_timeOut + std::chrono::seconds(1);
}

void TMainFrm::closeEvent(QCloseEvent* event)
{
    if (m_closing) {
        // Already closing (the close waits for the thread while it processes
        // events): this second request changes nothing.
        event->ignore();
        return;
    }
    m_closing = true;
    closeForm(event);
}

void TMainFrm::formClose(QCloseEvent* event)
{
    const QDeadlineTimer deadline(closeLimit());
    // 1, 2.
    disableToolTimers();
    m_clientArea->setPaintingHooked(false);
    // 3-5. Stop the thread; an access in progress returns at once.
    m_link->requestStop();
    // 6. The termination handler closes the nodes and saves the settings.
    const auto left = std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime() - 100));
    if (!m_link->waitForTermination(left)) {
        std::fprintf(stderr, "vorelan: the register access thread did not end in time; leaving it behind\n");
        writeCommSettings();
        m_link->abandon();
    }
    // 7.
    if (auto* app = TApplication::instance())
        app->setErrorHandler({});
    removeEventFilter(m_hintPanel);
    m_closeCompleted = true;
    event->accept();
}

void TMainFrm::writeCommSettings()
{
    if (m_options.simulate || !m_link->hasNodes())
        return; // the simulated board's port is for this run only
    try {
        TCommSettings comm;
        comm.port = CommChoice::portTextToSave(checkedPort());
        comm.settings = QString::fromStdString(m_link->serialProperty("Settings"));
        comm.timeOut = QString::fromStdString(m_link->protocolProperty("TimeOut"));
        comm.write(); // a settings failure is ignored
    } catch (const std::exception&) {
        // A node that cannot tell its properties leaves the stored settings as they were.
    }
}
