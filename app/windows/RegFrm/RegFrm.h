// TRegFrm: the Registers window. Shows every CAN register live and lets the
// user write any of them: one hex field per register (its "Tag" property holds
// the register's address), bit panels for ISR, ICR and CSR, and a page control
// whose tab index is the page that PSR selects.
//
// The window keeps no register values of its own. Its threaded timer copies
// the register access thread's images into the fields every 500 ms; every edit
// hands the register access thread a job that writes its register and then
// reads the cell afresh. While the host is not connected the timer does
// nothing and edits change only the display. Closing the window minimises it.
//
// Threads: everything here runs in the GUI thread, the timer's ticks and the
// jobs' outcomes included.
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "CanRegisterMap.h"
#include "ToolWindow.h"

class QLabel;
class QTabWidget;
class TBitPanel;
class THexEdit;
class TThreadedTimer;

class TRegFrm : public TToolWindowOf<QWidget> {
  Q_OBJECT

 public:
  static constexpr int DesignWidth = 382;  // client area
  static constexpr int DesignHeight = 392;
  static constexpr int TimerInterval = 500;  // ms

  // Builds the window with its design size and starts its timer. The host
  // must outlive the window.
  explicit TRegFrm(IToolWindowHost& host);
  ~TRegFrm() override;

  // The tick handler: copies the images into the fields (see the .cpp).
  void ReadThreadTimer();

  // The timer, component name "ReadThreadTimer".
  TThreadedTimer* readThreadTimer() const { return timer_; }

  // "TX \Pending", "RX \Filled", "TX \Empty" or "RX \Empty" for a BCSR value.
  static QString BufferStateText(std::uint8_t bcsr);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The property of a register field that holds its register's address.
  static constexpr const char* TagProperty = "Tag";

  // A register field and where its value sits in its image.
  struct PageField {
    THexEdit* field;
    int imageIndex;
  };

  // ---- building
  THexEdit* makeField(const QString& name, std::uint8_t address, const QString& hint);
  QWidget* buildGeneralGroup();
  QWidget* buildPagedGroup();
  QWidget* buildDiagnosisPage();
  QWidget* buildBufferPage(int page);
  QWidget* buildFilterPage();
  TBitPanel* makeBitPanel(const QString& name, const QString& caption, const QString& hint, const QStringList& captions,
                          const QStringList& hints);
  void chainFocus(const std::vector<QWidget*>& chain);
  void setTabOrderFrom(const std::vector<QWidget*>& order);

  // ---- handlers
  void RegChange(THexEdit* sender);
  void BitPanelISRChange();
  void BitPanelICRChange();
  void BitPanelCSRChange();
  void PageControlChange(int index);

  // ---- helpers
  // Puts value into field unless it is the focused control (the user may be
  // typing in it); returns whether the field was set.
  bool UpdateField(THexEdit* field, std::uint8_t value);
  void UpdatePage(int page, const std::array<std::uint8_t, CanReg::PageSize>& image);
  void ShowBufferState(int page);
  // Makes the tab of page the active one without raising PageControlChange.
  void SelectTab(int page);
  // Copies a field's value into its bit panel and writes the register.
  void BitPanelChange(TBitPanel* panel, THexEdit* field, std::uint8_t address);
  // Writes one register when connected, then runs a read cycle so that the
  // next tick shows the register as the cell now holds it; `written` runs
  // once the write went through (a failed one shows its error).
  void WriteRegister(std::uint8_t address, int page, std::uint8_t value, std::function<void()> written = {});
  // The page tab and bit panel follow a field whose value now stands.
  void ShowWritten(THexEdit* sender);
  TBitPanel* panelOf(const THexEdit* field) const;
  static std::uint8_t lowByte(qint64 value) { return static_cast<std::uint8_t>(value & 0xFF); }

  TThreadedTimer* timer_ = nullptr;

  TBitPanel* bitPanelISR_ = nullptr;
  TBitPanel* bitPanelICR_ = nullptr;
  TBitPanel* bitPanelCSR_ = nullptr;
  THexEdit* isr_ = nullptr;
  THexEdit* icr_ = nullptr;
  THexEdit* csr_ = nullptr;
  THexEdit* brpr_ = nullptr;
  THexEdit* btr_ = nullptr;
  THexEdit* psr_ = nullptr;

  QTabWidget* pageControl_ = nullptr;
  // The fields of each page in the order they are refreshed.
  std::array<std::vector<PageField>, CanReg::PageCount> pageFields_;
  std::array<THexEdit*, CanReg::PageCount> bcsr_{};  // buffer pages 1-3 only
  std::array<QLabel*, CanReg::PageCount> status_{};  // buffer pages 1-3 only
  bool selectingTab_ = false;                        // the program, not the user, changes the tab
};
