#include "HelpViewer.h"

#include "HelpTopics.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

// The pages live in a static library: referencing the resource's initialiser
// makes the linker keep it (outside any namespace, as Qt requires).
static void initHelpResources()
{
    Q_INIT_RESOURCE(vorelan_help);
}

namespace {

// The shared viewer of showPage(); GUI thread only.
QPointer<HelpViewer> g_shared;

} // namespace

HelpViewer::HelpViewer(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this))
    , m_back(new QToolButton(this))
    , m_forward(new QToolButton(this))
{
    initHelpResources();
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(680, 600);

    auto* contents = new QToolButton(this);
    contents->setText(tr("&Contents"));
    m_back->setText(tr("&Back"));
    m_forward->setText(tr("&Forward"));
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({QStringLiteral(":/help")});

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);

    connect(contents, &QToolButton::clicked, this,
            [this] { m_browser->setSource(urlOfPage(HelpTopics::indexPage())); });
    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpViewer::updateTitle);

    m_browser->setSource(urlOfPage(HelpTopics::indexPage()));
}

QUrl HelpViewer::urlOfPage(const QString& page)
{
    return QUrl(QStringLiteral("qrc:/help/") + page);
}

bool HelpViewer::openCommand(const QString& chmStyleCommand)
{
    const QString page = HelpTopics::pageForCommand(chmStyleCommand);
    m_browser->setSource(urlOfPage(page.isEmpty() ? HelpTopics::indexPage() : page));
    return !page.isEmpty();
}

QString HelpViewer::currentPage() const
{
    return QFileInfo(m_browser->source().path()).fileName();
}

QString HelpViewer::currentTitle() const
{
    return m_browser->documentTitle();
}

void HelpViewer::updateTitle()
{
    const QString title = currentTitle();
    setWindowTitle(title.isEmpty() ? tr("Vorelan Help") : tr("Vorelan Help - %1").arg(title));
}

bool HelpViewer::showPage(const QString& chmStyleCommand)
{
    if (!g_shared) {
        g_shared = new HelpViewer;
        g_shared->setAttribute(Qt::WA_DeleteOnClose);
        // A viewer still open when the program ends goes with it.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, g_shared.data(), &QObject::deleteLater);
    }
    const bool known = g_shared->openCommand(chmStyleCommand);
    if (g_shared->isMinimized())
        g_shared->showNormal();
    g_shared->show();
    g_shared->raise();
    g_shared->activateWindow();
    return known;
}

HelpViewer* HelpViewer::shared()
{
    return g_shared;
}
