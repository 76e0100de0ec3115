// The gallery window: every control of app/controls with sample values, wired
// the way the tool windows wire them, for people to look at and try.
#pragma once

#include <QWidget>

class QLabel;
class TBitPanel;
class TFilters;
class THexEdit;
class TThreadedTimer;

class GalleryWindow : public QWidget {
  Q_OBJECT

 public:
  explicit GalleryWindow(QWidget *parent = nullptr);

 private:
  QWidget *createHexEdits();
  QWidget *createBitPanels();
  QWidget *createRangeView();
  QWidget *createTimer();
  TBitPanel *createBitPanel(const QString &title, const QStringList &captions, const QStringList &hints, int value);

  QLabel *m_hexEvents = nullptr;
  QLabel *m_pointedRange = nullptr;
  QLabel *m_ticks = nullptr;
  THexEdit *m_isr = nullptr;
  TBitPanel *m_isrPanel = nullptr;
  TFilters *m_filters = nullptr;
  TThreadedTimer *m_timer = nullptr;
  int m_tickCount = 0;
};
