#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "ToolWindows.h"

class IToolWindowHost;
class QLabel;
class QMainWindow;
class TSlcanShare;

// Serial Link > Share as CAN interface...: serves the board's CAN cell as an
// SLCAN interface (TSlcanShare) on the open link, beside the windows, which
// stay live. The first click asks where the link to the pseudo-terminal goes
// and starts the share; its path shows on a panel of the status bar. The
// next click ends it (the cell is stopped if a client's O started it). The
// bit timing of S0-S8 uses the CPU clock of the Bit Settings window.
//
// It reaches the link through the host the tool windows see, and the main
// window's status bar and its "ShareCan" menu entry through the QMainWindow.
//
// Threads: GUI thread only.
class TCanShareEntry : public QObject {
  Q_OBJECT

 public:
  // The main window's file dialog; the chosen path or empty.
  using ChooseFile = std::function<QString(const TFileDialogSpec& dialog)>;

  // A child of `window`, which outlives it, as `host` does.
  TCanShareEntry(IToolWindowHost& host, QMainWindow& window, ChooseFile chooseFile);
  ~TCanShareEntry() override;

  void click();
  bool sharing() const { return share_ != nullptr; }
  // The status bar panel's text: empty while not sharing.
  QString panelText() const;

 private:
  void start();
  void stop();
  void showText(const QString& text);
  void checkEntry(bool checked);

  IToolWindowHost& host_;
  QMainWindow& window_;
  ChooseFile chooseFile_;
  std::unique_ptr<TSlcanShare> share_;
  bool stopping_ = false;
  QLabel* panel_ = nullptr;  // made on the first share, owned by the status bar
};
