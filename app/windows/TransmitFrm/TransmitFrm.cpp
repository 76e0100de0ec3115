#include "TransmitFrm.h"

#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLayout>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "ChoiceGroup.h"
#include "HexEdit.h"
#include "NumberEntry.h"
#include "SettingsStore.h"
#include "ThrTimer.h"
#include "TransmitOutcome.h"
#include "TransmitSettings.h"
#include "TransmitStatusBar.h"
#include "canregthread.h"

using namespace CanReg;

const QString TTransmitFrm::SendCaption = QStringLiteral("&Send");
const QString TTransmitFrm::StartCaption = QStringLiteral("S&tart");
const QString TTransmitFrm::StopCaption = QStringLiteral("St&op");

namespace {

const QString kSettingsKey = QStringLiteral("Transmission");

}  // namespace

TTransmitFrm::TTransmitFrm(IToolWindowHost& host) : TToolWindowOf(host) {
  setObjectName(QStringLiteral("TransmitFrm"));
  setWindowTitle(QStringLiteral("Transmission"));
  BuildControls();
  resize(DesignWidth, DesignHeight);
  timer_ = AddTimer(QStringLiteral("Timer"), TimerInterval, TimerState::Disabled, [this] { SendingTimer(); });
}

TTransmitFrm::~TTransmitFrm() {
  StoreSettings();
}

// ---- the visible state -----------------------------------------------------------

void TTransmitFrm::FrameTypeClick() {
  dataPanel_->setVisible(frameType_->itemIndex() == 0);
}

void TTransmitFrm::RepetitionClick() {
  const bool periodic = Periodic();
  const QSize before = size();
  periodPanel_->setVisible(periodic);
  SetApplyRole(periodic ? ApplyRole::Start : ApplyRole::Send);
  GrowToFit(before);
}

void TTransmitFrm::GrowToFit(QSize before) {
  QLayout* controls = layout();
  if (!controls) return;
  // Showing a panel sets the smallest size and grows this widget to it, but
  // not the frame around it.
  controls->activate();
  const QSize missing = (minimumSize() - before).expandedTo(QSize(0, 0));
  if (missing.width() == 0 && missing.height() == 0) return;
  // A child of the client area sits in a frame that does not follow its
  // contents: grow the frame, or the layout would cut the captions.
  QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
  if (!frame) frame = this;
  frame->resize(frame->size() + missing);
}

void TTransmitFrm::CntModeClick() {
  shiftMode_->setChecked(false);
  cntMode_->setChecked(true);
  shiftOpt_->hide();
  cntOpt_->show();
}

void TTransmitFrm::ShiftModeClick() {
  cntMode_->setChecked(false);
  shiftMode_->setChecked(true);
  cntOpt_->hide();
  shiftOpt_->show();
}

void TTransmitFrm::CntMinChange() {
  if (static_cast<std::uint64_t>(cntMin_->value()) > static_cast<std::uint64_t>(cntMax_->value()))
    cntMin_->setValue(cntMax_->value());
}

void TTransmitFrm::CntMaxChange() {
  if (static_cast<std::uint64_t>(cntMin_->value()) > static_cast<std::uint64_t>(cntMax_->value()))
    cntMax_->setValue(cntMin_->value());
}

bool TTransmitFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    if (watched == cntMin_) CntMinChange();
    if (watched == cntMax_) CntMaxChange();
  }
  return TToolWindowOf::eventFilter(watched, event);
}

void TTransmitFrm::keyPressEvent(QKeyEvent* event) {
  // Apply is the window's default button: Enter presses it, wherever the
  // focus is, unless the focus is on another button, which Enter presses.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && button != apply_) {
      if (button->isEnabled()) button->click();
    } else if (apply_->isEnabled()) {
      apply_->click();
    }
    event->accept();
    return;
  }
  TToolWindowOf::keyPressEvent(event);
}

void TTransmitFrm::SetControlsEnabled(bool enabled) {
  if (enabled == controlsEnabled_) return;
  controlsEnabled_ = enabled;
  if (!enabled) KeepFocus();
  for (QWidget* control :
       {static_cast<QWidget*>(refresh_), static_cast<QWidget*>(repetition_), static_cast<QWidget*>(buffNum_),
        static_cast<QWidget*>(period_), static_cast<QWidget*>(userId_), static_cast<QWidget*>(userLength_),
        static_cast<QWidget*>(frameType_), static_cast<QWidget*>(pageControl_)})
    control->setEnabled(enabled);
  for (THexEdit* byte : dat_) byte->setEnabled(enabled);
  if (enabled) RestoreFocus();
}

void TTransmitFrm::SetApplyRole(ApplyRole role) {
  applyRole_ = role;
  apply_->setText(role == ApplyRole::Send ? SendCaption : role == ApplyRole::Start ? StartCaption : StopCaption);
}

bool TTransmitFrm::AutoPageActive() const {
  return pageControl_->currentWidget() == autoPage_;
}

bool TTransmitFrm::Periodic() const {
  return repetition_->itemIndex() == 1;
}

// ---- sending -------------------------------------------------------------------------

TAutoData TTransmitFrm::AutoDataSettings() const {
  TAutoData data;
  data.mode = cntMode_->isChecked()         ? TAutoData::Mode::Counter
              : shiftOpt_->itemIndex() == 1 ? TAutoData::Mode::ShiftRight
                                            : TAutoData::Mode::ShiftLeft;
  data.cntMin = static_cast<std::uint64_t>(cntMin_->value());
  data.cntMax = static_cast<std::uint64_t>(cntMax_->value());
  data.length = autoLength_->value();
  return data;
}

TTransmitFrame TTransmitFrm::FrameToSend() const {
  TTransmitFrame frame;
  if (AutoPageActive()) {
    frame.id = static_cast<std::uint16_t>(autoId_->value() & MaxIdentifier);
    frame.length = autoLength_->value();
    frame.data = TAutoData::Bytes(automaticValue_);
  } else {
    frame.id = static_cast<std::uint16_t>(userId_->value() & MaxIdentifier);
    frame.remote = frameType_->itemIndex() == 1;
    frame.length = userLength_->value();
    for (std::size_t k = 0; k < dat_.size(); ++k) frame.data[k] = static_cast<std::uint8_t>(dat_[k]->value());
  }
  return frame;
}

void TTransmitFrm::ApplyClick() {
  if (!Connected()) return;
  if (Periodic() && applyRole_ != ApplyRole::Start) {
    if (applyRole_ == ApplyRole::Stop) {
      timer_->setEnabled(false);
      SetApplyRole(ApplyRole::Start);
      ticks_.Reset();
      EnableControls();
    }
    return;
  }
  if (applyRole_ == ApplyRole::Start) SetApplyRole(ApplyRole::Stop);
  if (AutoPageActive()) automaticValue_ = AutoDataSettings().Start();
  DisableControls();
  statusBar_->setStatus(TransmitOutcome::None);
  SendFrame();
}

void TTransmitFrm::SendFrame() {
  // A frame still being written (a slow board) is not followed by another.
  if (!Connected() || JobsPending() > 0) return;
  const TTransmitFrame frame = FrameToSend();
  const int buffer = buffNum_->value();
  lastFrameWritten_ = false;
  RunRegisterJob({FrameWrites(frame, buffer), TRegisterJob::Read::None}, {apply_},
                 [this](const TRegisterJobOutcome& outcome) { FrameWritten(outcome.written()); });
}

void TTransmitFrm::FrameWritten(bool written) {
  lastFrameWritten_ = written;
  if (!written) {
    // The error is on the error display; the controls stay as they are. The
    // panel shows no outcome: ISR speaks of an earlier frame, or of none.
    statusBar_->setStatus(TransmitOutcome::None);
    return;
  }
  if (AutoPageActive()) automaticValue_ = AutoDataSettings().Next(automaticValue_);
  ticks_.Reset();
  // The outcome is judged one interval after the frame, when the polling
  // thread has read ISR again.
  timer_->restart();
}

void TTransmitFrm::SendingTimer() {
  if (!Connected()) return;
  // Only a frame written whole has an outcome to judge: after a failed write
  // the image may still show the previous frame's TXIF (a link that no longer
  // answers is not read again), which is no "Transmission OK" for this one.
  if (lastFrameWritten_)
    statusBar_->setStatus(TransmitOutcome::FromIsr(Registers()->GetMainRegisters()[MainIndex(ISR)]));
  if (Periodic()) {
    // Only a running repetition sends: a tick already on its way when Stop
    // was clicked writes nothing.
    if (applyRole_ == ApplyRole::Stop && ticks_.Tick(period_->value(), TimerInterval)) SendFrame();
  } else {
    timer_->setEnabled(false);
    EnableControls();
  }
}

void TTransmitFrm::RefreshClick() {
  if (!Connected()) return;
  const TTransmitFrame frame = TTransmitFrame::FromBufferPage(Registers()->GetPage(buffNum_->value()));
  if (AutoPageActive()) {
    autoId_->setValue(frame.id);
    autoLength_->setValue(frame.length);
    return;
  }
  userId_->setValue(frame.id);
  userLength_->setValue(frame.length);
  frameType_->setItemIndex(frame.remote ? 1 : 0);
  for (std::size_t k = 0; k < dat_.size(); ++k) dat_[k]->setValue(frame.data[k]);
}

// ---- creation and settings -------------------------------------------------------------

void TTransmitFrm::formCreate() {
  RefreshClick();
  LoadSettings();
}

void TTransmitFrm::LoadSettings() {
  const TSettingsStore key(kSettingsKey);
  const TTransmitSettings stored =
      TTransmitSettings::Load([&key](const char* name) { return key.readInt(QString::fromLatin1(name)); });
  // Each value as the user would set it; the controls keep their ranges.
  if (stored.automatic) pageControl_->setCurrentWidget(*stored.automatic ? autoPage_ : userPage_);
  if (stored.periodic) repetition_->setItemIndex(*stored.periodic ? 1 : 0);
  if (stored.period) period_->setValue(*stored.period);
  if (stored.buffNum) buffNum_->setValue(*stored.buffNum);
  if (stored.counterMode) {
    if (*stored.counterMode)
      CntModeClick();
    else
      ShiftModeClick();
  }
  if (stored.cntMin) cntMin_->setValue(static_cast<qint64>(*stored.cntMin));
  if (stored.cntMax) cntMax_->setValue(static_cast<qint64>(*stored.cntMax));
  if (stored.shiftRight) shiftOpt_->setItemIndex(*stored.shiftRight ? 1 : 0);
}

void TTransmitFrm::StoreSettings() const {
  TTransmitSettings settings;
  settings.automatic = AutoPageActive();
  settings.periodic = Periodic();
  settings.period = period_->value();
  settings.buffNum = buffNum_->value();
  settings.counterMode = cntMode_->isChecked();
  settings.cntMin = static_cast<std::uint64_t>(cntMin_->value());
  settings.cntMax = static_cast<std::uint64_t>(cntMax_->value());
  settings.shiftRight = shiftOpt_->itemIndex() == 1;
  TSettingsStore key(kSettingsKey);
  settings.Store([&key](const char* name, std::int32_t value) { key.writeInt(QString::fromLatin1(name), value); });
  key.sync();  // a failing write is ignored
}
