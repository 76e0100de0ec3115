#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLabel;
class TMainFrm;
class TSlcanShare;

// Serial Link > Share as CAN interface...: serves the board's CAN cell as an
// SLCAN interface (TSlcanShare) on the open link, beside the windows, which
// stay live. The first click asks where the link to the pseudo-terminal goes
// and starts the share; its path shows on a panel of the status bar. The
// next click ends it (the cell is stopped if a client's O started it). The
// bit timing of S0-S8 uses the CPU clock of the Bit Settings window.
//
// Threads: GUI thread only.
class TCanShareEntry : public QObject {
  Q_OBJECT

 public:
  explicit TCanShareEntry(TMainFrm& mainFrm);
  ~TCanShareEntry() override;

  void Click();
  bool sharing() const { return share_ != nullptr; }
  // The status bar panel's text: empty while not sharing.
  QString panelText() const;

 private:
  void Start();
  void Stop();
  void Show(const QString& text);

  TMainFrm& mainFrm_;
  std::unique_ptr<TSlcanShare> share_;
  bool stopping_ = false;
  QLabel* panel_ = nullptr;  // made on the first share, owned by the status bar
};
