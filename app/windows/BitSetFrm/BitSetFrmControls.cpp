// TBitSetFrm's controls: the search group, the bit timing group, the buttons
// and the table of exact settings, built once by the constructor
// (BitSetFrm.cpp holds the handlers).
#include "BitSetFrm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "BitTiming.h"
#include "ExactSettingsModel.h"
#include "HexEdit.h"
#include "NumberEntry.h"

namespace {

constexpr int ClockDigits = 2;
constexpr int BaudRateDigits = 8;

// A number from 1 to maximum that changes by its arrows only (mouse, Up and Down).
TNumberEntry* arrowsOnlyEntry(const QString& name, int maximum) {
  auto* entry = new TNumberEntry(1, maximum, 1);
  entry->setObjectName(name);
  return entry;
}

QLineEdit* digitsEntry(const QString& name, int maxLength) {
  auto* entry = new QLineEdit;
  entry->setObjectName(name);
  entry->setMaxLength(maxLength);
  entry->setAlignment(Qt::AlignRight);
  // Keys are filtered as they are typed (eventFilter); the validator also
  // keeps pasted and dropped text to digits.
  entry->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), entry));
  const int width = entry->fontMetrics().horizontalAdvance(QString(maxLength + 1, QLatin1Char('0')));
  entry->setFixedWidth(width + 14);
  return entry;
}

QLabel* buddyLabel(const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

TBitSetFrm::TBitSetFrm(IToolWindowHost& host) : TToolWindowOf(host) {
  setObjectName(QStringLiteral("BitSetFrm"));
  setWindowTitle(QStringLiteral("Bit Settings"));

  auto* left = new QVBoxLayout;
  left->setSpacing(6);
  left->addWidget(buildSearchGroup());
  left->addWidget(buildTimingGroup());
  refresh_ = new QPushButton(QStringLiteral("&Refresh"));
  refresh_->setObjectName(QStringLiteral("Refresh"));
  apply_ = new QPushButton(QStringLiteral("&Apply"));
  apply_->setObjectName(QStringLiteral("Apply"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(refresh_);
  buttons->addWidget(apply_);
  left->addLayout(buttons);
  left->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(8);
  layout->addLayout(left);
  layout->addWidget(buildExactSettings(), 1);

  connect(calc1_, &QPushButton::clicked, this, &TBitSetFrm::Calculate);
  connect(refresh_, &QPushButton::clicked, this, &TBitSetFrm::RefreshClick);
  connect(apply_, &QPushButton::clicked, this, &TBitSetFrm::ApplyClick);
  connect(brp_, &THexEdit::change, this, &TBitSetFrm::ParamsChange);
  connect(bs1_, &QSpinBox::valueChanged, this, &TBitSetFrm::ParamsChange);
  connect(bs2_, &QSpinBox::valueChanged, this, &TBitSetFrm::ParamsChange);
  connect(rjw_, &QSpinBox::valueChanged, exactModel_, &TExactSettingsModel::setJumpWidth);
  connect(samplePos_, &QSpinBox::textChanged, this, &TBitSetFrm::SamplePosChange);
  connect(exactTable_, &QTableView::clicked, this,
          [this](const QModelIndex& index) { ExactSettingChosen(index.row()); });
  connect(exactTable_, &QTableView::activated, this,
          [this](const QModelIndex& index) { ExactSettingChosen(index.row()); });

  for (QWidget* w : std::initializer_list<QWidget*>{clock_, baudRate_, samplePos_, calc1_, brp_, bs1_, bs2_, rjw_,
                                                    refresh_, apply_, exactTable_})
    w->setFocusPolicy(w->focusPolicy() == Qt::NoFocus ? Qt::NoFocus : Qt::StrongFocus);
  setTabOrder(clock_, baudRate_);
  setTabOrder(baudRate_, samplePos_);
  setTabOrder(samplePos_, calc1_);
  setTabOrder(calc1_, brp_);
  setTabOrder(brp_, bs1_);
  setTabOrder(bs1_, bs2_);
  setTabOrder(bs2_, rjw_);
  setTabOrder(rjw_, refresh_);
  setTabOrder(refresh_, apply_);
  setTabOrder(apply_, exactTable_);

  resize(sizeHint().expandedTo(QSize(0, 380)));
}

QWidget* TBitSetFrm::buildSearchGroup() {
  auto* group = new QGroupBox(QStringLiteral("&CAN settings"));
  group->setObjectName(QStringLiteral("CANSettings"));
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(6);

  clock_ = digitsEntry(QStringLiteral("Clock"), ClockDigits);
  baudRate_ = digitsEntry(QStringLiteral("BaudRate"), BaudRateDigits);
  clock_->installEventFilter(this);  // DecKeyPress
  baudRate_->installEventFilter(this);
  samplePos_ = new QSpinBox;
  samplePos_->setObjectName(QStringLiteral("SamplePos"));
  samplePos_->setRange(MinSamplePos, MaxSamplePos);
  samplePos_->setValue(MinSamplePos);
  samplePos_->setAlignment(Qt::AlignRight);
  samplePosTrack_ = new QSlider(Qt::Horizontal);
  samplePosTrack_->setObjectName(QStringLiteral("SamplePosTrack"));
  samplePosTrack_->setEnabled(false);  // it shows the sample point in quanta; nobody drags it
  samplePosTrack_->setRange(0, 4);
  samplePosTrack_->setValue(2);
  samplePosTrack_->setTickPosition(QSlider::TicksBelow);
  samplePosTrack_->setTickInterval(1);
  calc1_ = new QPushButton(QStringLiteral("&OK"));
  calc1_->setObjectName(QStringLiteral("Calc1"));

  grid->addWidget(buddyLabel(QStringLiteral("CPU &Clock:"), clock_), 0, 0);
  grid->addWidget(clock_, 0, 1, Qt::AlignLeft);
  grid->addWidget(new QLabel(QStringLiteral("MHz")), 0, 2);
  grid->addWidget(buddyLabel(QStringLiteral("&BaudRate:"), baudRate_), 1, 0);
  grid->addWidget(baudRate_, 1, 1, Qt::AlignLeft);
  grid->addWidget(new QLabel(QStringLiteral("bps")), 1, 2);
  grid->addWidget(buddyLabel(QStringLiteral("Sample point &position:"), samplePos_), 2, 0);
  grid->addWidget(samplePos_, 2, 1, Qt::AlignLeft);
  grid->addWidget(new QLabel(QStringLiteral("%")), 2, 2);
  grid->addWidget(samplePosTrack_, 3, 0, 1, 3);
  grid->addWidget(calc1_, 4, 0, 1, 3, Qt::AlignRight);
  grid->setColumnStretch(3, 1);
  return group;
}

QWidget* TBitSetFrm::buildTimingGroup() {
  auto* group = new QGroupBox;
  group->setObjectName(QStringLiteral("BitTiming"));
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(6);

  brp_ = new THexEdit;
  brp_->setObjectName(QStringLiteral("BRP"));
  brp_->setDigits(2);
  brp_->setValue(1);
  brp_->setFixedSize(brp_->sizeHint());
  bs1_ = arrowsOnlyEntry(QStringLiteral("BS1"), BitTiming::MaxSegment1);
  bs2_ = arrowsOnlyEntry(QStringLiteral("BS2"), BitTiming::MaxSegment2);
  rjw_ = arrowsOnlyEntry(QStringLiteral("RJW"), BitTiming::MaxJumpWidth);
  timeQuantum_ = new QLabel;
  timeQuantum_->setObjectName(QStringLiteral("TimeQuantum"));

  grid->addWidget(buddyLabel(QStringLiteral("&BRP:"), brp_), 0, 0);
  grid->addWidget(brp_, 0, 1, Qt::AlignLeft);
  const std::pair<QString, QSpinBox*> segments[] = {{QStringLiteral("BS&1:"), bs1_},
                                                    {QStringLiteral("BS&2:"), bs2_},
                                                    {QStringLiteral("Resynchronization Jump &Width:"), rjw_}};
  int row = 1;
  for (const auto& [caption, entry] : segments) {
    grid->addWidget(buddyLabel(caption, entry), row, 0);
    grid->addWidget(entry, row, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("TQ")), row, 2);
    ++row;
  }
  grid->addWidget(timeQuantum_, row, 0, 1, 3);
  grid->setColumnStretch(3, 1);
  return group;
}

QWidget* TBitSetFrm::buildExactSettings() {
  auto* box = new QWidget;
  box->setObjectName(QStringLiteral("ExactSettingsBox"));
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  exactCaption_ = new QLabel(
      QStringLiteral("The settings that give the wanted baud rate exactly\nare listed here by a search (OK)."));
  exactCaption_->setObjectName(QStringLiteral("ExactSettingsCaption"));
  exactModel_ = new TExactSettingsModel(this);
  exactTable_ = new QTableView;
  exactTable_->setObjectName(QStringLiteral("ExactSettings"));
  exactTable_->setModel(exactModel_);
  exactTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
  exactTable_->setSelectionMode(QAbstractItemView::SingleSelection);
  exactTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  exactTable_->verticalHeader()->hide();
  exactTable_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  exactTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  exactTable_->horizontalHeader()->setStretchLastSection(true);
  // Columns as wide as their widest possible text, so that every column shows.
  const QString widest[] = {QStringLiteral("40"),      QStringLiteral("16"),       QStringLiteral("8"),
                            QStringLiteral("100.0 %"), QStringLiteral("64000 ns"), QStringLiteral("FF"),
                            QStringLiteral("7F")};
  int tableWidth = 2 * exactTable_->frameWidth() + exactTable_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  for (int column = 0; column < TExactSettingsModel::Columns; ++column) {
    const QString header = exactModel_->headerData(column, Qt::Horizontal).toString();
    const int width =
        std::max(fontMetrics().horizontalAdvance(header), fontMetrics().horizontalAdvance(widest[column])) + 18;
    exactTable_->horizontalHeader()->resizeSection(column, width);
    tableWidth += width;
  }
  exactTable_->setMinimumWidth(tableWidth);
  exactTable_->setToolTip(
      QStringLiteral("Every setting that gives the wanted baud rate exactly, closest sample "
                     "point first. Click a row to take it."));
  exactCaption_->setBuddy(exactTable_);
  layout->addWidget(exactCaption_);
  layout->addWidget(exactTable_, 1);
  return box;
}
