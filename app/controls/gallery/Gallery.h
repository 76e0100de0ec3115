// The gallery window: every control of app/controls with sample values, wired
// the way the tool windows wire them, for people to look at and try.
#pragma once

#include <QWidget>

class QLabel;
class TBitPanel;
class TFilters;
class THexEdit;
class TThreadedTimer;

class TGalleryWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TGalleryWindow(QWidget* parent = nullptr);

 private:
  QWidget* createHexEdits();
  QWidget* createBitPanels();
  QWidget* createRangeView();
  QWidget* createChoices();
  QWidget* createTimer();
  TBitPanel* createBitPanel(const QString& title, const QStringList& captions, const QStringList& hints, int value);

  QLabel* hexEvents_ = nullptr;
  QLabel* pointedRange_ = nullptr;
  QLabel* ticks_ = nullptr;
  THexEdit* isr_ = nullptr;
  TBitPanel* isrPanel_ = nullptr;
  TFilters* filters_ = nullptr;
  TThreadedTimer* timer_ = nullptr;
  int tickCount_ = 0;
};
