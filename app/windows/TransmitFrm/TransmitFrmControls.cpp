// TTransmitFrm's controls: the pages, the sending options, the buttons and
// the status panel, built once by the constructor (TransmitFrm.cpp holds the
// handlers).
#include "TransmitFrm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ChoiceGroup.h"
#include "HexEdit.h"
#include "HintPanel.h"
#include "NumberEntry.h"
#include "TransmitStatusBar.h"

namespace {

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
