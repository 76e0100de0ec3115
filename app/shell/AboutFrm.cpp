#include "AboutFrm.h"

#include "HintPanel.h"
#include "Pictures.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace {

QLabel* textLabel(QWidget* parent, const QString& text, const QRect& geometry, bool bold = false)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    QFont font = label->font();
    font.setBold(bold);
    label->setFont(font);
    label->setPalette(parent->palette());
    return label;
}

} // namespace

TAboutFrm::TAboutFrm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("AboutFrm"));
    setWindowTitle(QStringLiteral("About Vorelan"));
    setModal(true);
    setFixedSize(kWidth, kHeight);

    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);
    setAutoFillBackground(true);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setGeometry(0, 0, kPictureWidth, kHeight);
    picture->setScaledContents(true); // stretched to its place
    picture->setPixmap(QPixmap::fromImage(Pictures::aboutPicture()));

    const int x = kPictureWidth + 10;
    const int w = kWidth - x - 6;
    textLabel(this, QStringLiteral("Vorelan Version 1.1"), QRect(x, 10, w, 20), true)
        ->setObjectName(QStringLiteral("Label1"));
    textLabel(this, QStringLiteral("Orvex Semiconductors"), QRect(x, 36, w, 18))
        ->setObjectName(QStringLiteral("Label2"));
    textLabel(this, QStringLiteral("8/16 bits Micros Applications"), QRect(x, 54, w, 18))
        ->setObjectName(QStringLiteral("Label3"));

    m_link = textLabel(this, QStringLiteral("Qm 8/16 bits Micros Web Page"), QRect(x, 80, w, 18));
    m_link->setObjectName(QStringLiteral("WebLink"));
    QFont linkFont = m_link->font();
    linkFont.setUnderline(true);
    m_link->setFont(linkFont);
    QPalette blue = m_link->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    m_link->setPalette(blue);
    m_link->setCursor(Qt::PointingHandCursor);
    m_link->setToolTip(webPage().toString());
    m_link->installEventFilter(this);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("OKBtn"));
    m_ok->setGeometry(x + (w - 75) / 2, kHeight - 38, 75, 25);
    m_ok->setDefault(true);
    Hint::apply(m_ok, QStringLiteral("Close this window"));
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

QUrl TAboutFrm::webPage()
{
    return QUrl(QStringLiteral("https://orvex.example/micros/"));
}

void TAboutFrm::showEvent(QShowEvent* event)
{
    // Centred on the screen, not on the main window.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

bool TAboutFrm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_link && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (m_openUrl)
            m_openUrl(webPage());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
