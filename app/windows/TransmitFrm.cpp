#include "TransmitFrm.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ChoiceGroup.h"
#include "HexEdit.h"
#include "HintPanel.h"
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

THexEdit* HexField(const QString& name, int digits, QWidget* parent) {
  auto* field = new THexEdit(parent);
  field->setObjectName(name);
  field->setDigits(digits);
  field->setFixedSize(field->sizeHint());
  return field;
}

TNumberEntry* Number(const QString& name, int minimum, int maximum, int value, QWidget* parent) {
  auto* entry = new TNumberEntry(minimum, maximum, value, parent);
  entry->setObjectName(name);
  return entry;
}

QLabel* Label(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

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

// ---- building -------------------------------------------------------------------

void TTransmitFrm::BuildControls() {
  auto* column = new QVBoxLayout(this);
  // The layout keeps the window's smallest size up to date: inside the
  // client area nothing else does (see GrowToFit).
  column->setSizeConstraint(QLayout::SetMinimumSize);
  column->setContentsMargins(6, 6, 6, 0);
  column->setSpacing(6);

  pageControl_ = new QTabWidget(this);
  pageControl_->setObjectName(QStringLiteral("PageControl"));
  userPage_ = BuildUserPage();
  autoPage_ = BuildAutoPage();
  pageControl_->addTab(userPage_, QStringLiteral("&User Data"));
  pageControl_->addTab(autoPage_, QStringLiteral("&Automatic Data"));
  pageControl_->setCurrentWidget(autoPage_);
  column->addWidget(pageControl_);

  auto* sending = new QHBoxLayout;
  repetition_ =
      new TChoiceGroup(QStringLiteral("Repetition"), QStringLiteral("Repetition"),
                       {QStringLiteral("&Manual Transmission"), QStringLiteral("&Automatic Transmission")}, this);
  Hint::apply(repetition_, QStringLiteral("Repetition|One frame per click, or one frame every Period seconds."));
  connect(repetition_, &TChoiceGroup::selected, this, [this] { RepetitionClick(); });
  sending->addWidget(repetition_);

  auto* settings = new QGridLayout;
  buffNum_ = Number(QStringLiteral("BuffNum"), 1, 3, 1, this);
  Hint::apply(buffNum_, QStringLiteral("Transmit buffer|The message buffer that sends the frame, 1 to 3."));
  settings->addWidget(Label(QStringLiteral("&Buffer"), buffNum_, this), 0, 0);
  settings->addWidget(buffNum_, 0, 1);

  periodPanel_ = new QWidget(this);
  periodPanel_->setObjectName(QStringLiteral("PeriodPanel"));
  auto* periodRow = new QHBoxLayout(periodPanel_);
  periodRow->setContentsMargins(0, 0, 0, 0);
  period_ = Number(QStringLiteral("Period"), 1, 60, 1, periodPanel_);
  Hint::apply(period_, QStringLiteral("Period|Seconds between two frames, 1 to 60."));
  periodRow->addWidget(Label(QStringLiteral("&Period"), period_, periodPanel_));
  periodRow->addWidget(period_);
  periodRow->addWidget(new QLabel(QStringLiteral("s"), periodPanel_));
  settings->addWidget(periodPanel_, 1, 0, 1, 2);
  settings->setRowStretch(2, 1);
  sending->addLayout(settings);
  sending->addStretch(1);

  auto* buttons = new QVBoxLayout;
  apply_ = new QPushButton(SendCaption, this);
  apply_->setObjectName(QStringLiteral("Apply"));
  apply_->setDefault(true);
  Hint::apply(apply_,
              QStringLiteral("Send, start or stop|Send one frame, or start and stop the automatic transmission."));
  connect(apply_, &QPushButton::clicked, this, [this] { ApplyClick(); });
  refresh_ = new QPushButton(QStringLiteral("&Refresh"), this);
  refresh_->setObjectName(QStringLiteral("Refresh"));
  Hint::apply(refresh_, QStringLiteral("Refresh|Reload the frame from the chosen buffer."));
  connect(refresh_, &QPushButton::clicked, this, [this] { RefreshClick(); });
  buttons->addWidget(apply_);
  buttons->addWidget(refresh_);
  buttons->addStretch(1);
  sending->addLayout(buttons);
  column->addLayout(sending);

  statusBar_ = new TTransmitStatusBar(this);
  statusBar_->setObjectName(QStringLiteral("StatusBar"));
  column->addWidget(statusBar_);

  periodPanel_->hide();  // manual repetition
  shiftOpt_->hide();     // Counter mode

  setTabOrder(pageControl_, repetition_);
  setTabOrder(repetition_, buffNum_);
  setTabOrder(buffNum_, period_);
  setTabOrder(period_, apply_);
  setTabOrder(apply_, refresh_);
}

QWidget* TTransmitFrm::BuildUserPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("User"));
  auto* grid = new QGridLayout(page);

  userId_ = HexField(QStringLiteral("UserID"), 3, page);
  Hint::apply(userId_, QStringLiteral("Identifier|The 11-bit identifier of the frame, 000 to 7FF."));
  userLength_ = Number(QStringLiteral("UserLength"), 0, 8, 0, page);
  Hint::apply(userLength_, QStringLiteral("Length|The number of data bytes, 0 to 8."));
  frameType_ = new TChoiceGroup(QStringLiteral("FrameType"), QStringLiteral("Frame Type"),
                                {QStringLiteral("Data Frame"), QStringLiteral("Remote Frame")}, page);
  connect(frameType_, &TChoiceGroup::selected, this, [this] { FrameTypeClick(); });

  dataPanel_ = new QWidget(page);
  dataPanel_->setObjectName(QStringLiteral("DataPanel"));
  auto* bytes = new QGridLayout(dataPanel_);
  bytes->setContentsMargins(0, 0, 0, 0);
  bytes->setHorizontalSpacing(3);
  bytes->addWidget(new QLabel(QStringLiteral("&Data"), dataPanel_), 1, 0);
  for (int k = 0; k < 8; ++k) {
    dat_[std::size_t(k)] = HexField(QStringLiteral("Dat%1").arg(k), 2, dataPanel_);
    Hint::apply(dat_[std::size_t(k)], QStringLiteral("Data byte %1|Data byte %1 of the frame.").arg(k));
    auto* number = new QLabel(QString::number(k), dataPanel_);
    number->setAlignment(Qt::AlignCenter);
    bytes->addWidget(number, 0, k + 1);
    bytes->addWidget(dat_[std::size_t(k)], 1, k + 1);
  }
  qobject_cast<QLabel*>(bytes->itemAtPosition(1, 0)->widget())->setBuddy(dat_[0]);
  bytes->setColumnStretch(9, 1);

  grid->addWidget(Label(QStringLiteral("&Identifier"), userId_, page), 0, 0);
  grid->addWidget(userId_, 0, 1);
  grid->addWidget(Label(QStringLiteral("Len&gth"), userLength_, page), 1, 0);
  grid->addWidget(userLength_, 1, 1);
  grid->addWidget(frameType_, 0, 2, 2, 1);
  grid->addWidget(dataPanel_, 2, 0, 1, 4);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(3, 1);

  // Typing chains from field to field, the last byte hands on to Apply.
  userId_->setSendFocusCtrl(userLength_);
  for (int k = 0; k < 7; ++k) dat_[std::size_t(k)]->setSendFocusCtrl(dat_[std::size_t(k + 1)]);
  return page;
}

QWidget* TTransmitFrm::BuildAutoPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("Auto"));
  auto* grid = new QGridLayout(page);

  autoId_ = HexField(QStringLiteral("AutoID"), 3, page);
  Hint::apply(autoId_, QStringLiteral("Identifier|The 11-bit identifier of the generated frames, 000 to 7FF."));
  autoLength_ = Number(QStringLiteral("AutoLength"), 0, 8, 0, page);
  Hint::apply(autoLength_, QStringLiteral("Length|The number of data bytes of the generated frames, 0 to 8."));

  cntMode_ = new QRadioButton(QStringLiteral("&Counter"), page);
  cntMode_->setObjectName(QStringLiteral("CntMode"));
  cntMode_->setChecked(true);
  Hint::apply(cntMode_, QStringLiteral("Counter|The data count from Min to Max, one step per frame."));
  connect(cntMode_, &QRadioButton::clicked, this, [this] { CntModeClick(); });
  shiftMode_ = new QRadioButton(QStringLiteral("&Shift"), page);
  shiftMode_->setObjectName(QStringLiteral("ShiftMode"));
  Hint::apply(shiftMode_, QStringLiteral("Shift|A single set bit moves one place per frame."));
  connect(shiftMode_, &QRadioButton::clicked, this, [this] { ShiftModeClick(); });

  cntOpt_ = new QGroupBox(QStringLiteral("Counter Range"), page);
  cntOpt_->setObjectName(QStringLiteral("CntOpt"));
  auto* bounds = new QGridLayout(cntOpt_);
  cntMin_ = HexField(QStringLiteral("CntMin"), 16, cntOpt_);
  Hint::apply(cntMin_, QStringLiteral("Counter minimum|The first value of the counter (64 bits)."));
  cntMax_ = HexField(QStringLiteral("CntMax"), 16, cntOpt_);
  Hint::apply(cntMax_,
              QStringLiteral("Counter maximum|The last value of the counter before it starts again (64 bits)."));
  bounds->addWidget(Label(QStringLiteral("Mi&n"), cntMin_, cntOpt_), 0, 0);
  bounds->addWidget(cntMin_, 0, 1);
  bounds->addWidget(Label(QStringLiteral("Ma&x"), cntMax_, cntOpt_), 1, 0);
  bounds->addWidget(cntMax_, 1, 1);
  bounds->setColumnStretch(2, 1);
  cntMin_->installEventFilter(this);
  cntMax_->installEventFilter(this);
  cntMin_->setSendFocusCtrl(cntMax_);

  shiftOpt_ = new TChoiceGroup(QStringLiteral("ShiftOpt"), QStringLiteral("Direction"),
                               {QStringLiteral("&Left"), QStringLiteral("&Right")}, page);

  grid->addWidget(Label(QStringLiteral("&Identifier"), autoId_, page), 0, 0);
  grid->addWidget(autoId_, 0, 1);
  grid->addWidget(Label(QStringLiteral("Len&gth"), autoLength_, page), 1, 0);
  grid->addWidget(autoLength_, 1, 1);
  grid->addWidget(cntMode_, 0, 2);
  grid->addWidget(shiftMode_, 1, 2);
  grid->addWidget(cntOpt_, 2, 0, 1, 4);
  grid->addWidget(shiftOpt_, 2, 0, 1, 4);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(3, 1);

  autoId_->setSendFocusCtrl(autoLength_);
  return page;
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
  const SettingsStore key(kSettingsKey);
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
  SettingsStore key(kSettingsKey);
  settings.Store([&key](const char* name, std::int32_t value) { key.writeInt(QString::fromLatin1(name), value); });
  key.sync();  // a failing write is ignored
}
