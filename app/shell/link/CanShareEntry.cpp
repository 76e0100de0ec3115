#include "CanShareEntry.h"

#include "AppError.h"
#include "BitSetFrm.h"
#include "SettingsStore.h"
#include "SlcanShare.h"
#include "ToolWindowHost.h"
#include "canregthread.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

TCanShareEntry::TCanShareEntry(IToolWindowHost& host, QMainWindow& window, ChooseFile chooseFile)
    : QObject(&window), host_(host), window_(window), chooseFile_(std::move(chooseFile)) {}

TCanShareEntry::~TCanShareEntry() = default;

void TCanShareEntry::click() {
  if (stopping_) return;
  if (share_)
    stop();
  else
    start();
  checkEntry(sharing());
}

void TCanShareEntry::start() {
  TCANRegAccessThread* registers = host_.RegisterThread();
  if (!registers || !host_.Connected()) throw EAppError("Share as CAN interface: the link to the board is not open");
  const QString link =
      chooseFile_({TFileDialogSpec::Mode::Save, QStringLiteral("Share as CAN interface: where the link to it goes"),
                   QStringLiteral("All (*.*)|*.*"), QString()});
  if (link.isEmpty()) return;
  bool number = false;
  const int clock = TSettingsStore(TBitSetFrm::SettingsKey)
                        .readString(TBitSetFrm::ClockValue)
                        .value_or(TBitSetFrm::DefaultClock)
                        .toInt(&number);
  try {
    share_ = std::make_unique<TSlcanShare>(
        *registers, TSlcanShare::Options{{number && clock > 0 ? clock : 8, 1}, QDir::cleanPath(link).toStdString()},
        [this] {
          TCANRegAccessThread* thread = host_.RegisterThread();
          return host_.Connected() && thread && thread->StatusText().empty();
        },
        [this](const std::string& text) {
          host_.ShowError(QStringLiteral("CAN interface: ") + QString::fromStdString(text));
        });
  } catch (const std::exception& e) {
    throw EAppError(std::string("Share as CAN interface: ") + e.what());
  }
  showText(QStringLiteral("CAN interface: ") + QString::fromStdString(share_->Where()));
}

void TCanShareEntry::stop() {
  stopping_ = true;
  showText(QStringLiteral("CAN interface: closing..."));
  share_->Finish([this] {
    // Not from inside the share's own callback: it goes once the event loop has it back.
    share_.release()->deleteLater();
    stopping_ = false;
    showText(QString());
    checkEntry(false);
  });
}

void TCanShareEntry::showText(const QString& text) {
  if (!panel_) {
    panel_ = new QLabel(window_.statusBar());
    panel_->setObjectName(QStringLiteral("CanSharePanel"));
    window_.statusBar()->addPermanentWidget(panel_);
  }
  panel_->setText(text);
  panel_->setToolTip(text);
  panel_->setVisible(!text.isEmpty());
}

void TCanShareEntry::checkEntry(bool checked) {
  if (auto* entry = window_.findChild<QAction*>(QStringLiteral("ShareCan"))) entry->setChecked(checked);
}

QString TCanShareEntry::panelText() const {
  return panel_ ? panel_->text() : QString();
}
