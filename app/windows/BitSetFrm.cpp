#include "BitSetFrm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
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
#include "CanRegisterMap.h"
#include "ExactSettingsModel.h"
#include "HexEdit.h"
#include "SettingsStore.h"
#include "canregthread.h"

const QString TBitSetFrm::SettingsKey = QStringLiteral("CPU");
const QString TBitSetFrm::ClockValue = QStringLiteral("Clock");
const QString TBitSetFrm::DefaultClock = QStringLiteral("8");
const QString TBitSetFrm::EnterValuesText = QStringLiteral("Please enter values...");
const QString TBitSetFrm::UnreachableText = QStringLiteral("Unable to achieve such a baudrate with this CPU clock!");
const QString TBitSetFrm::OfferText = QStringLiteral(
    "Possible settings for this CPU clock are:\r\rBaudRate    : %d bps\rSample Point: %d %%\r\rSet these values?\r");
const QString TBitSetFrm::StopCellText = QStringLiteral("CAN cell is running. Stop it?");

namespace {

constexpr int MinSamplePos = 50;
constexpr int MaxSamplePos = 100;
constexpr int ClockDigits = 2;
constexpr int BaudRateDigits = 8;

// A spin box whose value changes by its arrows only (mouse, Up and Down).
QSpinBox* arrowsOnlyEntry(const QString& name, int maximum) {
  auto* entry = new QSpinBox;
  entry->setObjectName(name);
  entry->setRange(1, maximum);
  entry->setValue(1);
  entry->findChild<QLineEdit*>()->setReadOnly(true);  // typing disabled; the arrows still step
  entry->setAlignment(Qt::AlignRight);
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

// A clock stored by hand may hold anything: only 1 or 2 digits are a clock.
bool isClockText(const QString& text) {
  static const QRegularExpression digits(QStringLiteral("^[0-9]{1,2}$"));
  return digits.match(text).hasMatch();
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
  connect(rjw_, &QSpinBox::valueChanged, exactModel_, &ExactSettingsModel::setJumpWidth);
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

TBitSetFrm::~TBitSetFrm() {
  // A failure to store it is not worth a word: the next start offers 8 MHz.
  SettingsStore store(SettingsKey);
  store.writeString(ClockValue, clock_->text());
  store.sync();
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
  bs1_ = arrowsOnlyEntry(QStringLiteral("BS1"), bit_timing::MaxSegment1);
  bs2_ = arrowsOnlyEntry(QStringLiteral("BS2"), bit_timing::MaxSegment2);
  rjw_ = arrowsOnlyEntry(QStringLiteral("RJW"), bit_timing::MaxJumpWidth);
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
  exactModel_ = new ExactSettingsModel(this);
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
  for (int column = 0; column < ExactSettingsModel::Columns; ++column) {
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

// ---- creation ------------------------------------------------------------------

void TBitSetFrm::formCreate() {
  const std::optional<QString> stored = SettingsStore(SettingsKey).readString(ClockValue);
  clock_->setText(stored && isClockText(*stored) ? *stored : DefaultClock);
  timeQuantum_->clear();
  RefreshClick();
}

// ---- typing ---------------------------------------------------------------------

bool TBitSetFrm::eventFilter(QObject* watched, QEvent* event) {
  // DecKeyPress: Clock and BaudRate take digits only. A character key other
  // than 0-9 is dropped; control characters (backspace, the editing
  // shortcuts) and keys without a character (arrows, Delete) pass.
  if ((watched == clock_ || watched == baudRate_) && event->type() == QEvent::KeyPress) {
    const QString text = static_cast<QKeyEvent*>(event)->text();
    const QChar c = text.isEmpty() ? QChar() : text.front();
    if (c.isPrint() && !(c >= QLatin1Char('0') && c <= QLatin1Char('9'))) return true;
  }
  return QWidget::eventFilter(watched, event);
}

std::optional<int> TBitSetFrm::ClockMHz() const {
  if (clock_->text().isEmpty()) return std::nullopt;
  return clock_->text().toInt();
}

std::optional<int> TBitSetFrm::SampleFromText() const {
  const QString text = samplePos_->cleanText();
  if (text.isEmpty()) return std::nullopt;
  bool ok = false;
  const int typed = text.toInt(&ok);
  return ok ? std::clamp(typed, MinSamplePos, MaxSamplePos) : samplePos_->value();
}

void TBitSetFrm::SamplePosChange(const QString&) {
  if (const auto sample = SampleFromText())
    samplePosTrack_->setValue(bit_timing::SliderPosition(*sample, samplePosTrack_->maximum()));
}

// ---- derived values -----------------------------------------------------------------

void TBitSetFrm::ParamsChange() {
  if (recomputing_) return;  // the fields set below call back here
  recomputing_ = true;
  if (bs2_->value() > bs1_->value()) bs2_->setValue(bs1_->value());
  const int bs1 = bs1_->value();
  const int bs2 = bs2_->value();
  samplePos_->setValue(bit_timing::SamplePoint(bs1, bs2));
  samplePosTrack_->setMaximum(bit_timing::QuantaPerBit(bs1, bs2));
  samplePosTrack_->setValue(bit_timing::SliderPosition(samplePos_->value(), samplePosTrack_->maximum()));
  // The register holds BRP 1 to 64; the two-digit field takes up to FF.
  const int brp = int(std::clamp<qint64>(brp_->value(), bit_timing::MinPrescaler, bit_timing::MaxPrescaler));
  if (brp != brp_->value()) brp_->setValue(brp);
  recomputing_ = false;

  const std::optional<int> clock = ClockMHz();
  if (!clock) return;
  const auto quantum = bit_timing::TimeQuantumNs(*clock, brp);
  const auto rate = bit_timing::BaudRate(*clock, {brp, bs1, bs2});
  if (!quantum || !rate) {
    // Clock 0: no time quantum, no baud rate.
    timeQuantum_->clear();
    baudRate_->clear();
    return;
  }
  timeQuantum_->setText(QStringLiteral("TQ: %1 ns").arg(*quantum));
  baudRate_->setText(QString::number(*rate));
}

void TBitSetFrm::SetSetting(int brp, int bs1, int bs2) {
  recomputing_ = true;
  brp_->setValue(brp);
  bs1_->setValue(bs1);
  bs2_->setValue(bs2);
  recomputing_ = false;
  ParamsChange();
}

// ---- the search --------------------------------------------------------------------------

QString TBitSetFrm::OfferFor(long long rate, int samplePoint) {
  return QString::asprintf(OfferText.toLatin1().constData(), int(rate), samplePoint);
}

void TBitSetFrm::Calculate() {
  const std::optional<int> clock = ClockMHz();
  const std::optional<int> sample = SampleFromText();
  if (!clock || baudRate_->text().isEmpty() || !sample) {
    Ask(QMessageBox::NoIcon, EnterValuesText, QMessageBox::Ok);
    return;
  }
  const long long wanted = baudRate_->text().toLongLong();
  const auto found = bit_timing::Search(*clock, wanted, *sample);
  if (!found) {
    Ask(QMessageBox::NoIcon, UnreachableText, QMessageBox::Ok);
    return;
  }

  const auto exact = bit_timing::ExactSettings(*clock, wanted, *sample);
  // Two lines always, so that the table below never moves.
  exactCaption_->setText(
      exact.empty()
          ? QStringLiteral("No setting gives %1 bps exactly at %2 MHz;\nthe search offers the nearest one.")
                .arg(wanted)
                .arg(*clock)
          : QStringLiteral("%1 settings give %2 bps exactly at %3 MHz,\nthe sample point closest to %4 % first:")
                .arg(exact.size())
                .arg(wanted)
                .arg(*clock)
                .arg(*sample));
  exactModel_->setJumpWidth(rjw_->value());
  exactModel_->setSettings(exact);

  const bool exactHit = found->rate == wanted && found->samplePoint == *sample;
  if (!exactHit && Ask(QMessageBox::Information, OfferFor(found->rate, found->samplePoint),
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  // RJW keeps its value.
  SetSetting(found->setting.brp, found->setting.bs1, found->setting.bs2);
}

void TBitSetFrm::ExactSettingChosen(int row) {
  if (row < 0 || row >= exactModel_->rowCount()) return;
  const bit_timing::Setting s = exactModel_->settingAt(row);
  SetSetting(s.brp, s.bs1, s.bs2);
}

// ---- the cell -------------------------------------------------------------------------------

void TBitSetFrm::RefreshClick() {
  if (!Connected()) return;
  const TCANRegAccessThread::MainImage image = Registers()->GetMainRegisters();
  const bit_timing::Fields f =
      bit_timing::Unpack(image[CanReg::MainIndex(CanReg::BRPR)], image[CanReg::MainIndex(CanReg::BTR)]);
  rjw_->setValue(f.rjw);
  SetSetting(f.brp, f.bs1, f.bs2);
}

void TBitSetFrm::ApplyClick() {
  if (!Connected()) return;
  const TCANRegAccessThread::MainImage image = Registers()->GetMainRegisters();
  const bool running = image[CanReg::MainIndex(CanReg::CSR)] & CanReg::RUN;
  if (!running || Ask(QMessageBox::Question, StopCellText, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
    const std::uint8_t brpr = bit_timing::PackBRPR(int(brp_->value()), rjw_->value());
    const std::uint8_t btr = bit_timing::PackBTR(bs1_->value(), bs2_->value());
    RunRegisterJob({{{CanReg::CSR, 0, 0x00}, {CanReg::BRPR, 0, brpr}, {CanReg::BTR, 0, btr}}, TRegisterJob::Read::All},
                   {apply_, refresh_}, [this](const TRegisterJobOutcome& outcome) {
                     // A failed write leaves the fields as typed (the error display
                     // tells why); a failed read has been shown by the read itself,
                     // and the refresh still runs.
                     if (outcome.written()) RefreshClick();
                   });
    return;
  }
  RefreshClick();
}

// ---- message boxes ---------------------------------------------------------------------------

QMessageBox::StandardButton TBitSetFrm::Ask(QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons) {
  return prompt_ ? prompt_(icon, text, buttons) : ShowPrompt(icon, text, buttons);
}

QMessageBox::StandardButton TBitSetFrm::ShowPrompt(QMessageBox::Icon icon, const QString& text,
                                                   QMessageBox::StandardButtons buttons) {
  // The offer's lines are separated by carriage returns; a Qt label breaks
  // lines at line feeds only.
  QString shown = text;
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(icon, windowTitle(), shown.trimmed(), buttons, this);
  box.setObjectName(QStringLiteral("BitSetPrompt"));
  return QMessageBox::StandardButton(box.exec());
}
