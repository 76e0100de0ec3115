// TTransmitFrm: the Transmission window (component name "TransmitFrm",
// caption "Transmission"). Makes the CAN cell send a standard data or remote
// frame from one of its three message buffers, once per click ("Send") or
// every `Period` seconds ("Start", "Stop"). The frame is typed on the User
// page, or generated on the Auto page: a 64-bit counter from CntMin to CntMax,
// or a single set bit shifting left or right (TAutoData).
//
// A frame is written by one register job (FrameWrites: Data7 last, which
// sends it); Apply is disabled until the job is done. The window's threaded
// timer then judges the outcome every 500 ms
// from ISR in the register access thread's main image (TXIF: "OK", TEIF:
// "Transmission Error!", neither: "Time Out!") and shows it in the status
// panel; with automatic repetition it also sends the next frame when its
// period is up. While a frame or a run is under way, every control but Apply
// is disabled.
//
// The page, the repetition, the period, the buffer, the generation mode, the
// counter bounds and the shift direction are kept in the settings under
// "Transmission" (TTransmitSettings): read at creation, written when the
// window goes.
//
// Threads: everything here runs in the GUI thread, the timer's ticks and the
// jobs' outcomes included.
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>

#include "AutoData.h"
#include "PeriodTicks.h"
#include "ToolWindow.h"
#include "TransmitFrame.h"

class QGroupBox;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TChoiceGroup;
class THexEdit;
class TNumberEntry;
class TThreadedTimer;
class TTransmitStatusBar;

class TTransmitFrm : public TToolWindowOf<QWidget> {
  Q_OBJECT

 public:
  static constexpr int DesignWidth = 400;  // client area
  static constexpr int DesignHeight = 310;
  static constexpr int TimerInterval = 500;  // ms

  // The three captions of Apply (the first is its layout caption).
  static const QString SendCaption;
  static const QString StartCaption;
  static const QString StopCaption;

  // Builds the window with its controls at their layout defaults (the Auto
  // page active, manual repetition, Counter mode) and its timer off. The
  // host must outlive the window.
  explicit TTransmitFrm(IToolWindowHost& host);
  // Stores the settings (FormDestroy).
  ~TTransmitFrm() override;

  // ---- handlers (the controls call them; tests may too)
  // Send, Start or Stop, by Apply's caption.
  void ApplyClick();
  // Fills the active page's identifier and length (on the User page also the
  // frame kind and the data) from the image of buffer BuffNum.
  void RefreshClick();
  // The timer's tick: the outcome from ISR; with automatic repetition the
  // next frame when its period is up, with manual repetition the end of the
  // frame (timer off, controls enabled).
  void SendingTimer();
  void FrameTypeClick();
  void RepetitionClick();
  // Grows the window (its frame in the client area) by what its smallest
  // size exceeds `before`, its size before a panel was shown.
  void GrowToFit(QSize before);
  void CntModeClick();
  void ShiftModeClick();
  // On leaving CntMin or CntMax: the bound just left never passes the other.
  void CntMinChange();
  void CntMaxChange();

  // ---- state, for the main window and tests
  TThreadedTimer* Timer() const { return timer_; }
  // The data of the next generated frame.
  std::uint64_t AutomaticValue() const { return automaticValue_; }
  // Ticks since the last frame.
  std::int32_t TickCount() const { return ticks_.Count(); }
  TTransmitStatusBar* StatusBar() const { return statusBar_; }

 protected:
  // Not while a frame or a run is under way: its fields are what it sends.
  void RefreshFromBoard() override {
    if (controlsEnabled_) RefreshClick();
  }
  // Fills the fields from buffer 1, then loads the stored settings.
  void formCreate() override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class ApplyRole { Send, Start, Stop };

  void BuildControls();
  QWidget* BuildUserPage();
  QWidget* BuildAutoPage();
  void LoadSettings();
  void StoreSettings() const;

  // Hands the frame of the active page to the register access thread.
  void SendFrame();
  // The frame's job is done: when written whole, advances the automatic
  // value and (re)starts the timer.
  void FrameWritten(bool written);
  void DisableControls() { SetControlsEnabled(false); }
  void EnableControls() { SetControlsEnabled(true); }
  void SetControlsEnabled(bool enabled);
  void SetApplyRole(ApplyRole role);

  bool AutoPageActive() const;
  bool Periodic() const;
  TAutoData AutoDataSettings() const;
  TTransmitFrame FrameToSend() const;

  ApplyRole applyRole_ = ApplyRole::Send;
  bool controlsEnabled_ = true;
  // Every write of the last frame went through: only then do the ticks judge
  // its outcome from ISR.
  bool lastFrameWritten_ = false;
  std::uint64_t automaticValue_ = 0;
  TPeriodTicks ticks_;

  QTabWidget* pageControl_ = nullptr;
  QWidget* userPage_ = nullptr;
  QWidget* autoPage_ = nullptr;
  THexEdit* userId_ = nullptr;
  TNumberEntry* userLength_ = nullptr;
  TChoiceGroup* frameType_ = nullptr;
  QWidget* dataPanel_ = nullptr;
  std::array<THexEdit*, 8> dat_{};
  THexEdit* autoId_ = nullptr;
  TNumberEntry* autoLength_ = nullptr;
  QRadioButton* cntMode_ = nullptr;
  QRadioButton* shiftMode_ = nullptr;
  QGroupBox* cntOpt_ = nullptr;
  THexEdit* cntMin_ = nullptr;
  THexEdit* cntMax_ = nullptr;
  TChoiceGroup* shiftOpt_ = nullptr;
  TChoiceGroup* repetition_ = nullptr;
  TNumberEntry* buffNum_ = nullptr;
  QWidget* periodPanel_ = nullptr;
  TNumberEntry* period_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* refresh_ = nullptr;
  TTransmitStatusBar* statusBar_ = nullptr;
  TThreadedTimer* timer_ = nullptr;
};
