// TBitSetFrm: the Bit Settings window (component name "BitSetFrm", caption
// "Bit Settings"). From the board's CPU clock it shows what a prescaler (BRP)
// and two bit segments (BS1, BS2) give: time quantum, baud rate and sample
// point; it searches the setting nearest to a wanted baud rate and sample
// point (BitTiming::Search), lists every setting that reaches the wanted
// rate exactly, and writes BRPR and BTR.
//
// The arithmetic lives in BitTiming.h; this class holds the controls and the
// handlers. The clock is kept in the settings as "CPU/Clock" (a string):
// read at creation, written when the window goes. The window's message boxes
// (its input checks and its two questions) go through a prompt that tests may
// replace.
//
// Threads: GUI thread only. Apply hands its writes and the full read that
// follows to the register access thread as one job (RunRegisterJob).
#pragma once

#include <QMessageBox>
#include <QWidget>

#include <functional>
#include <optional>

#include "ToolWindow.h"

class TExactSettingsModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTableView;
class THexEdit;

class TBitSetFrm : public TToolWindowOf<QWidget> {
  Q_OBJECT

 public:
  // The stored clock: key "CPU", string value "Clock".
  static const QString SettingsKey;
  static const QString ClockValue;
  static const QString DefaultClock;  // "8"
  // Texts of the message boxes.
  static const QString EnterValuesText;
  static const QString UnreachableText;
  static const QString OfferText;  // printf format: rate (%d), sample point (%d)
  static const QString StopCellText;

  // Shows a message box and returns the button chosen.
  using Prompt = std::function<QMessageBox::StandardButton(QMessageBox::Icon icon, const QString& text,
                                                           QMessageBox::StandardButtons buttons)>;

  // The controls at their layout defaults; the host must outlive the window.
  explicit TBitSetFrm(IToolWindowHost& host);
  // Stores the clock (FormDestroy).
  ~TBitSetFrm() override;

  // Replaces the message boxes (tests answer the questions with it).
  void SetPrompt(Prompt prompt) { prompt_ = std::move(prompt); }

  // ---- handlers (the controls call them; tests may too)
  // Recomputes sample point, slider, time quantum and baud rate from the fields.
  void ParamsChange();
  // The search for the wanted baud rate and sample point (OK).
  void Calculate();
  // Loads BRP, RJW, BS1 and BS2 from the main image (while connected).
  void RefreshClick();
  // Writes CSR 0, BRPR and BTR, reads every register, then refreshes (while connected).
  void ApplyClick();
  // Puts row `row` of the exact-settings table into BRP, BS1 and BS2.
  void ExactSettingChosen(int row);

  // The offer of the search: OfferText with the rate and sample point, each
  // carriage return as it is.
  static QString OfferFor(long long rate, int samplePoint);

 protected:
  void RefreshFromBoard() override { RefreshClick(); }
  void formCreate() override;  // FormCreate
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The sample point field's range, in %.
  static constexpr int MinSamplePos = 50;
  static constexpr int MaxSamplePos = 100;

  QWidget* buildSearchGroup();
  QWidget* buildTimingGroup();
  QWidget* buildExactSettings();

  void SamplePosChange(const QString& text);
  // The clock in MHz as typed; empty when the field is.
  std::optional<int> ClockMHz() const;
  // SamplePos as typed, held within its range; empty when the field is.
  std::optional<int> SampleFromText() const;
  // Sets BRP, BS1 and BS2 without a recomputation for each, then recomputes.
  void SetSetting(int brp, int bs1, int bs2);
  QMessageBox::StandardButton Ask(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons);
  QMessageBox::StandardButton ShowPrompt(QMessageBox::Icon icon, const QString& text,
                                         QMessageBox::StandardButtons buttons);

  QLineEdit* clock_ = nullptr;
  QLineEdit* baudRate_ = nullptr;
  QSpinBox* samplePos_ = nullptr;
  QSlider* samplePosTrack_ = nullptr;
  QPushButton* calc1_ = nullptr;
  THexEdit* brp_ = nullptr;
  QSpinBox* bs1_ = nullptr;
  QSpinBox* bs2_ = nullptr;
  QSpinBox* rjw_ = nullptr;
  QLabel* timeQuantum_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QPushButton* apply_ = nullptr;
  QLabel* exactCaption_ = nullptr;
  QTableView* exactTable_ = nullptr;
  TExactSettingsModel* exactModel_ = nullptr;
  Prompt prompt_;
  bool recomputing_ = false;  // ParamsChange is setting fields whose changes call it
};
