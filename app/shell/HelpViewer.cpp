#include "HelpViewer.h"

#include "HelpTopics.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The shared viewer of showPage(); GUI thread only.
QPointer<THelpViewer> g_shared;

// A browser that shows each help page as HelpTopics gives it, so that the
// contents carry the tool windows of the table.
class THelpBrowser : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;

  QVariant loadResource(int type, const QUrl& name) override {
    if (type == QTextDocument::HtmlResource && name.scheme() == QLatin1String("qrc")) {
      const QString html = HelpTopics::pageHtml(QFileInfo(name.path()).fileName());
      if (!html.isEmpty()) return html;
    }
    return QTextBrowser::loadResource(type, name);
  }
};

}  // namespace

THelpViewer::THelpViewer(QWidget* parent)
    : QWidget(parent, Qt::Window),
      browser_(new THelpBrowser(this)),
      back_(new QToolButton(this)),
      forward_(new QToolButton(this)) {
  HelpTopics::loadPages();
  setObjectName(QStringLiteral("HelpViewer"));
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(680, 600);

  auto* contents = new QToolButton(this);
  contents->setText(QStringLiteral("&Contents"));
  back_->setText(QStringLiteral("&Back"));
  forward_->setText(QStringLiteral("&Forward"));
  back_->setEnabled(false);
  forward_->setEnabled(false);

  browser_->setObjectName(QStringLiteral("HelpBrowser"));
  browser_->setOpenExternalLinks(true);
  browser_->setSearchPaths({QStringLiteral(":/help")});

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(contents);
  buttons->addWidget(back_);
  buttons->addWidget(forward_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_);

  connect(contents, &QToolButton::clicked, this, [this] { browser_->setSource(urlOfPage(HelpTopics::indexPage())); });
  connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
  connect(browser_, &QTextBrowser::sourceChanged, this, &THelpViewer::updateTitle);

  browser_->setSource(urlOfPage(HelpTopics::indexPage()));
}

QUrl THelpViewer::urlOfPage(const QString& page) {
  return QUrl(QStringLiteral("qrc:/help/") + page);
}

bool THelpViewer::openCommand(const QString& chmStyleCommand) {
  const QString page = HelpTopics::pageForCommand(chmStyleCommand);
  browser_->setSource(urlOfPage(page.isEmpty() ? HelpTopics::indexPage() : page));
  return !page.isEmpty();
}

QString THelpViewer::currentPage() const {
  return QFileInfo(browser_->source().path()).fileName();
}

QString THelpViewer::currentTitle() const {
  return browser_->documentTitle();
}

void THelpViewer::updateTitle() {
  const QString title = currentTitle();
  setWindowTitle(title.isEmpty() ? QStringLiteral("Vorelan Help") : QStringLiteral("Vorelan Help - %1").arg(title));
}

bool THelpViewer::showPage(const QString& chmStyleCommand) {
  if (!g_shared) {
    g_shared = new THelpViewer;
    g_shared->setAttribute(Qt::WA_DeleteOnClose);
    // A viewer still open when the program ends goes with it.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, g_shared.data(), &QObject::deleteLater);
  }
  const bool known = g_shared->openCommand(chmStyleCommand);
  if (g_shared->isMinimized()) g_shared->showNormal();
  g_shared->show();
  g_shared->raise();
  g_shared->activateWindow();
  return known;
}

THelpViewer* THelpViewer::shared() {
  return g_shared;
}
