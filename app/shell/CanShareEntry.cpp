#include "CanShareEntry.h"

#include "AppError.h"
#include "BitSetFrm.h"
#include "MainFrm.h"
#include "SettingsStore.h"
#include "SlcanShare.h"
#include "canregthread.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QStatusBar>

TCanShareEntry::TCanShareEntry(TMainFrm& mainFrm) : QObject(&mainFrm), mainFrm_(mainFrm) {}

TCanShareEntry::~TCanShareEntry() = default;

void TCanShareEntry::Click() {
  if (stopping_) return;
  if (share_)
    Stop();
  else
    Start();
  if (QAction* entry = mainFrm_.action(QStringLiteral("ShareCan"))) entry->setChecked(sharing());
}

void TCanShareEntry::Start() {
  TCANRegAccessThread* registers = mainFrm_.RegThread();
  if (!registers || !mainFrm_.Connected()) throw EAppError("Share as CAN interface: the link to the board is not open");
  const QString link = mainFrm_.chooseFile({FileDialogSpec::Mode::Save,
                                            QStringLiteral("Share as CAN interface: where the link to it goes"),
                                            QStringLiteral("All (*.*)|*.*"), QString()});
  if (link.isEmpty()) return;
  bool number = false;
  const int clock = SettingsStore(TBitSetFrm::SettingsKey)
                        .readString(TBitSetFrm::ClockValue)
                        .value_or(TBitSetFrm::DefaultClock)
                        .toInt(&number);
  try {
    share_ = std::make_unique<TSlcanShare>(
        *registers, TSlcanShare::Options{{number && clock > 0 ? clock : 8, 1}, QDir::cleanPath(link).toStdString()},
        [this] {
          TCANRegAccessThread* thread = mainFrm_.RegThread();
          return mainFrm_.Connected() && thread && thread->StatusText().empty();
        },
        [this](const std::string& text) {
          mainFrm_.ShowError(QStringLiteral("CAN interface: ") + QString::fromStdString(text));
        });
  } catch (const std::exception& e) {
    throw EAppError(std::string("Share as CAN interface: ") + e.what());
  }
  Show(QStringLiteral("CAN interface: ") + QString::fromStdString(share_->Where()));
}

void TCanShareEntry::Stop() {
  stopping_ = true;
  Show(QStringLiteral("CAN interface: closing..."));
  share_->Finish([this] {
    // Not from inside the share's own callback: it goes once the event loop has it back.
    share_.release()->deleteLater();
    stopping_ = false;
    Show(QString());
    if (QAction* entry = mainFrm_.action(QStringLiteral("ShareCan"))) entry->setChecked(false);
  });
}

void TCanShareEntry::Show(const QString& text) {
  if (!panel_) {
    panel_ = new QLabel(mainFrm_.statusBar());
    panel_->setObjectName(QStringLiteral("CanSharePanel"));
    mainFrm_.statusBar()->addPermanentWidget(panel_);
  }
  panel_->setText(text);
  panel_->setToolTip(text);
  panel_->setVisible(!text.isEmpty());
}

QString TCanShareEntry::panelText() const {
  return panel_ ? panel_->text() : QString();
}
