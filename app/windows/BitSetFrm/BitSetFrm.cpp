#include "BitSetFrm.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>

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

// A clock stored by hand may hold anything: only 1 or 2 digits are a clock.
bool isClockText(const QString& text) {
  static const QRegularExpression digits(QStringLiteral("^[0-9]{1,2}$"));
  return digits.match(text).hasMatch();
}

}  // namespace

TBitSetFrm::~TBitSetFrm() {
  // A failure to store it is not worth a word: the next start offers 8 MHz.
  TSettingsStore store(SettingsKey);
  store.writeString(ClockValue, clock_->text());
  store.sync();
}

// ---- creation ------------------------------------------------------------------

void TBitSetFrm::formCreate() {
  const std::optional<QString> stored = TSettingsStore(SettingsKey).readString(ClockValue);
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
    samplePosTrack_->setValue(BitTiming::SliderPosition(*sample, samplePosTrack_->maximum()));
}

// ---- derived values -----------------------------------------------------------------

void TBitSetFrm::ParamsChange() {
  if (recomputing_) return;  // the fields set below call back here
  recomputing_ = true;
  if (bs2_->value() > bs1_->value()) bs2_->setValue(bs1_->value());
  const int bs1 = bs1_->value();
  const int bs2 = bs2_->value();
  samplePos_->setValue(BitTiming::SamplePoint(bs1, bs2));
  samplePosTrack_->setMaximum(BitTiming::QuantaPerBit(bs1, bs2));
  samplePosTrack_->setValue(BitTiming::SliderPosition(samplePos_->value(), samplePosTrack_->maximum()));
  // The register holds BRP 1 to 64; the two-digit field takes up to FF.
  const int brp = int(std::clamp<qint64>(brp_->value(), BitTiming::MinPrescaler, BitTiming::MaxPrescaler));
  if (brp != brp_->value()) brp_->setValue(brp);
  recomputing_ = false;

  const std::optional<int> clock = ClockMHz();
  if (!clock) return;
  const auto quantum = BitTiming::TimeQuantumNs(*clock, brp);
  const auto rate = BitTiming::BaudRate(*clock, {brp, bs1, bs2});
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
  const auto found = BitTiming::Search(*clock, wanted, *sample);
  if (!found) {
    Ask(QMessageBox::NoIcon, UnreachableText, QMessageBox::Ok);
    return;
  }

  const auto exact = BitTiming::ExactSettings(*clock, wanted, *sample);
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
  const BitTiming::Setting s = exactModel_->settingAt(row);
  SetSetting(s.brp, s.bs1, s.bs2);
}

// ---- the cell -------------------------------------------------------------------------------

void TBitSetFrm::RefreshClick() {
  if (!Connected()) return;
  const TCANRegAccessThread::MainImage image = Registers()->GetMainRegisters();
  const BitTiming::Fields f =
      BitTiming::Unpack(image[CanReg::MainIndex(CanReg::BRPR)], image[CanReg::MainIndex(CanReg::BTR)]);
  rjw_->setValue(f.rjw);
  SetSetting(f.brp, f.bs1, f.bs2);
}

void TBitSetFrm::ApplyClick() {
  if (!Connected()) return;
  const TCANRegAccessThread::MainImage image = Registers()->GetMainRegisters();
  const bool running = image[CanReg::MainIndex(CanReg::CSR)] & CanReg::RUN;
  if (!running || Ask(QMessageBox::Question, StopCellText, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
    const std::uint8_t brpr = BitTiming::PackBRPR(int(brp_->value()), rjw_->value());
    const std::uint8_t btr = BitTiming::PackBTR(bs1_->value(), bs2_->value());
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
