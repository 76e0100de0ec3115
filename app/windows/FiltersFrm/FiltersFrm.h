// TFiltersFrm: the Filters window (component name "FiltersFrm", caption
// "Filters settings"). Sets up the CAN cell's two acceptance filters, each an
// 11-bit identifier, an 11-bit mask and a frame kind (data, remote or both),
// draws the identifiers each one accepts in an identifier range view, names
// the run under the pointer, and writes the filters into page 4's eight
// registers (FilterRegisters.h).
//
// View filter 1 is the cell's filter 0, named "Filter 0"; view filter 2 is
// filter 1, named "Filter 1". Every change of an identifier or a mask reaches
// the view at once; nothing reaches the cell before Apply.
//
// Threads: GUI thread only. Apply hands its eight writes and one read cycle
// to the register access thread as one job (RunRegisterJob).
#pragma once

#include <QGroupBox>
#include <QWidget>

#include <array>

#include "FilterRegisters.h"
#include "ToolWindow.h"

class QButtonGroup;
class QLabel;
class QPushButton;
class TFilters;
class THexEdit;

// The frame kind a filter accepts: "&Data", "&Remote", "&Both" in two
// columns. Nothing is selected until the program or the user chooses.
class TFrameKindChoice : public QGroupBox {
  Q_OBJECT

 public:
  explicit TFrameKindChoice(const QString& name, QWidget* parent = nullptr);
  FilterRegisters::FrameKind kind() const;
  // FrameKind::None clears the choice.
  void setKind(FilterRegisters::FrameKind kind);

 private:
  QButtonGroup* buttons_;
};

class TFiltersFrm : public TToolWindowOf<QWidget> {
  Q_OBJECT

 public:
  static const QString PointedRangeFormat;  // "Pointed Range for %s : %3X - %3X"

  // The controls at their layout defaults; the host must outlive the window.
  explicit TFiltersFrm(IToolWindowHost& host);
  ~TFiltersFrm() override;

  // ---- handlers (the controls call them; tests may too)
  // Loads both filters from page image 4 (while connected).
  void RefreshClick();
  // Writes both filters into page 4, runs a read cycle and refreshes (while connected).
  void ApplyClick();
  void AllIDs1Click();
  void AllIDs2Click();

  // What the window holds for filter 0 or 1.
  FilterRegisters::FilterSetting Setting(int filter) const;
  TFilters* RangeView() const { return filters1_; }

  // The pointed-range text for a view filter's name and run.
  static QString PointedRangeText(const QString& filterName, int begin, int end);

 protected:
  void RefreshFromBoard() override { RefreshClick(); }
  void formCreate() override;  // FormCreate
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  struct FilterControls {
    THexEdit* id = nullptr;
    THexEdit* mask = nullptr;
    TFrameKindChoice* kind = nullptr;
    QPushButton* allIds = nullptr;
    QGroupBox* group = nullptr;
  };

  QGroupBox* buildFilterGroup(int filter);
  // IDnChange, MasknChange: held within 11 bits, then handed to the view.
  void IdChange(int filter);
  void MaskChange(int filter);
  void AllIDsClick(int filter);
  void Filters1MouseMove(int filterNumber, int beginRange, int endRange);
  void HidePointedRange();  // FormMouseMove

  std::array<FilterControls, 2> filters_;
  TFilters* filters1_ = nullptr;
  QLabel* pointedRange_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QPushButton* apply_ = nullptr;
};
