#include "RegFrm.h"

#include <QEvent>
#include <QLabel>
#include <QTabWidget>

#include "BitPanel.h"
#include "HexEdit.h"
#include "canregthread.h"

using namespace CanReg;

TRegFrm::~TRegFrm() {
  // Pages removed while the children go must not reach this half-destroyed window.
  disconnect(pageControl_, nullptr, this, nullptr);
}

// ---- refreshing ---------------------------------------------------------------

bool TRegFrm::UpdateField(THexEdit* field, std::uint8_t value) {
  // The window's focused control keeps what the user is typing. Component
  // names are unique in the window, so comparing the widgets compares them.
  if (focusWidget() == field) return false;
  field->setValue(value);
  return true;
}

void TRegFrm::ReadThreadTimer() {
  // While an edit is on its way to the cell, the images still show the old
  // value: the fields wait for the job's read cycle.
  if (!Connected() || JobsPending() > 0) return;
  TCANRegAccessThread* thread = Registers();
  // Six copies, each of them whole, but not one snapshot: a pass may run between two.
  const TCANRegAccessThread::MainImage main = thread->GetMainRegisters();
  std::array<TCANRegAccessThread::PageImage, PageCount> pages;
  for (int page = 0; page < PageCount; ++page) pages[std::size_t(page)] = thread->GetPage(page);

  if (UpdateField(isr_, main[MainIndex(ISR)])) bitPanelISR_->setValue(int(isr_->value()));
  if (UpdateField(icr_, main[MainIndex(ICR)])) bitPanelICR_->setValue(int(icr_->value()));
  if (UpdateField(csr_, main[MainIndex(CSR)])) bitPanelCSR_->setValue(int(csr_->value()));
  UpdateField(brpr_, main[MainIndex(BRPR)]);
  UpdateField(btr_, main[MainIndex(BTR)]);
  // A page the cell cannot show is displayed as 0; nothing is written.
  if (UpdateField(psr_, main[MainIndex(PSR)]) && psr_->value() >= PageCount) psr_->setValue(0);

  const qint64 page = psr_->value();
  if (page >= 0 && page < PageCount) {
    SelectTab(int(page));
    UpdatePage(int(page), pages[std::size_t(page)]);
  }
}

void TRegFrm::UpdatePage(int page, const std::array<std::uint8_t, PageSize>& image) {
  for (const PageField& f : pageFields_[std::size_t(page)]) {
    UpdateField(f.field, image[std::size_t(f.imageIndex)]);
    if (f.field == bcsr_[std::size_t(page)]) ShowBufferState(page);
  }
}

void TRegFrm::ShowBufferState(int page) {
  status_[std::size_t(page)]->setText(BufferStateText(lowByte(bcsr_[std::size_t(page)]->value())));
}

QString TRegFrm::BufferStateText(std::uint8_t bcsr) {
  const bool transmits = bcsr & BufferTransmits;
  QString text = transmits ? QStringLiteral("TX \\") : QStringLiteral("RX \\");
  if (!(bcsr & BufferOccupied)) return text + QStringLiteral("Empty");
  return text + (transmits ? QStringLiteral("Pending") : QStringLiteral("Filled"));
}

void TRegFrm::SelectTab(int page) {
  if (pageControl_->currentIndex() == page) return;
  selectingTab_ = true;
  pageControl_->setCurrentIndex(page);
  selectingTab_ = false;
}

// ---- user edits ----------------------------------------------------------------

void TRegFrm::WriteRegister(std::uint8_t address, int page, std::uint8_t value, std::function<void()> written) {
  RunRegisterJob({{{address, page, value}}, TRegisterJob::Read::Cycle}, {},
                 [written = std::move(written)](const TRegisterJobOutcome& outcome) {
                   if (outcome.written() && written) written();
                 });
}

TBitPanel* TRegFrm::panelOf(const THexEdit* field) const {
  if (field == isr_) return bitPanelISR_;
  if (field == icr_) return bitPanelICR_;
  if (field == csr_) return bitPanelCSR_;
  return nullptr;
}

void TRegFrm::RegChange(THexEdit* sender) {
  if (Connected()) {
    const auto address = static_cast<std::uint8_t>(sender->property(TagProperty).toInt());
    // The main registers are not paged: they go out with page 0 whatever PSR
    // shows. A paged register goes to the page PSR shows; while PSR shows no
    // page (5-FF) the register access thread would drop the write without a
    // word, so the user is told instead.
    int page = 0;
    if (address >= PageBase) {
      page = int(lowByte(psr_->value()));
      if (page >= PageCount) {
        const QString shown = QStringLiteral("%1").arg(page, 2, 16, QLatin1Char('0')).toUpper();
        // The cause first: the panel is narrow, the tool tip holds the whole text.
        Host().ShowError(QStringLiteral("PSR %1 selects no page: %2 not written").arg(shown, sender->objectName()));
        return;  // the field keeps the typed value until the next tick
      }
    }
    // The field keeps the typed value until the write is done, or until the
    // next tick after a failed one.
    WriteRegister(address, page, lowByte(sender->value()), [this, sender] { ShowWritten(sender); });
    return;
  }
  ShowWritten(sender);
}

void TRegFrm::ShowWritten(THexEdit* sender) {
  if (sender == psr_ && psr_->value() < PageCount) SelectTab(int(psr_->value()));
  if (TBitPanel* panel = panelOf(sender)) panel->setValue(int(sender->value()));
}

void TRegFrm::BitPanelChange(TBitPanel* panel, THexEdit* field, std::uint8_t address) {
  field->setValue(panel->value());
  WriteRegister(address, 0, lowByte(field->value()));
}

void TRegFrm::BitPanelISRChange() {
  BitPanelChange(bitPanelISR_, isr_, ISR);
}
void TRegFrm::BitPanelICRChange() {
  BitPanelChange(bitPanelICR_, icr_, ICR);
}
void TRegFrm::BitPanelCSRChange() {
  BitPanelChange(bitPanelCSR_, csr_, CSR);
}

void TRegFrm::PageControlChange(int index) {
  if (selectingTab_ || index < 0) return;
  psr_->setValue(index);
  // The read cycle that follows the write reads the newly selected page.
  WriteRegister(PSR, 0, lowByte(psr_->value()));
}

// ---- window ----------------------------------------------------------------------

bool TRegFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Shortcut) {
    const std::pair<QObject*, THexEdit*> panels[] = {{bitPanelISR_, isr_}, {bitPanelICR_, icr_}, {bitPanelCSR_, csr_}};
    for (const auto& [panel, field] : panels)
      if (watched == panel) {
        field->setFocus(Qt::ShortcutFocusReason);
        return true;
      }
  }
  return QWidget::eventFilter(watched, event);
}
