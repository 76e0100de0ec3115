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
#include <QVBoxLayout>

namespace {

QLabel* textLabel(QWidget* parent, const QString& name, const QString& text, bool bold = false) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setWordWrap(true);
  QFont font = label->font();
  font.setPixelSize(11);
  font.setBold(bold);
  label->setFont(font);
  return label;
}

}  // namespace

TAboutFrm::TAboutFrm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      openUrl_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
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
  picture->setScaledContents(true);  // stretched to its place
  picture->setPixmap(QPixmap::fromImage(Pictures::aboutPicture()));

  // The right-hand column, top to bottom.
  auto* column = new QWidget(this);
  column->setGeometry(kPictureWidth, 0, kWidth - kPictureWidth, kHeight);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(10, 8, 8, 8);
  layout->setSpacing(2);
  layout->addWidget(textLabel(column, QStringLiteral("Label1"), QStringLiteral("Vorelan Version 1.1"), true));
  layout->addSpacing(6);
  layout->addWidget(textLabel(column, QStringLiteral("Label2"), QStringLiteral("Orvex Semiconductors")));
  layout->addWidget(textLabel(column, QStringLiteral("Label3"), QStringLiteral("Micros Applications Lab")));
  layout->addSpacing(6);

  link_ = textLabel(column, QStringLiteral("WebLink"), QStringLiteral("Qm 8/16 bits Micros Web Page"));
  QFont linkFont = link_->font();
  linkFont.setUnderline(true);
  link_->setFont(linkFont);
  QPalette blue = link_->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  link_->setPalette(blue);
  link_->setCursor(Qt::PointingHandCursor);
  link_->setToolTip(webPage().toString());
  link_->installEventFilter(this);
  layout->addWidget(link_);
  layout->addStretch(1);

  ok_ = new QPushButton(QStringLiteral("OK"), column);
  ok_->setObjectName(QStringLiteral("OKBtn"));
  ok_->setFixedWidth(75);
  ok_->setDefault(true);
  Hint::apply(ok_, QStringLiteral("Close this window"));
  layout->addWidget(ok_, 0, Qt::AlignHCenter);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  // The link reads on one line: where the font is wider than the box was
  // drawn for, the box grows sideways by what the caption lacks.
  link_->setWordWrap(false);
  const QMargins margins = layout->contentsMargins();
  const int room = kWidth - kPictureWidth - margins.left() - margins.right();
  const int lacking = link_->sizeHint().width() - room;
  if (lacking > 0) {
    setFixedSize(kWidth + lacking, kHeight);
    column->resize(column->width() + lacking, kHeight);
  }
}

QUrl TAboutFrm::webPage() {
  return QUrl(QStringLiteral("https://orvex.example/micros/"));
}

void TAboutFrm::showEvent(QShowEvent* event) {
  // Centred on the screen, not on the main window.
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}

bool TAboutFrm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == link_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (openUrl_) openUrl_(webPage());
    return true;
  }
  return QDialog::eventFilter(watched, event);
}
