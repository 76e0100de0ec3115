// TTransmitStatusBar: the Transmission window's status panel, drawn by the
// window: blank without a status, "Transmission OK" on green after a frame
// that went out, "ERROR: " and the status on red otherwise
// (TransmitOutcome.h).
//
// Threads: GUI thread only.
#pragma once

#include <QWidget>

#include <string>

class TTransmitStatusBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int Height = 19;

  explicit TTransmitStatusBar(QWidget* parent = nullptr);

  // The status text: empty, "OK", "Transmission Error!" or "Time Out!".
  const std::string& status() const { return status_; }
  void setStatus(const std::string& status);
  // What the panel shows: its text, and its fill (none, green or red).
  QString shownText() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string status_;
};
