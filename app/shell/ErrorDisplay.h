#pragma once

#include <QString>
#include <QWidget>

// The first panel of the main window's status bar, where every error of the
// program ends: red with "ERROR: " and the message while it holds a message,
// green with "Connection OK" when its text is empty. Text is written 5 pixels
// right of and 2 pixels below the panel's top-left corner. The whole message is
// also the panel's tool tip, since a long one does not fit the panel.
//
// Threads: the widget belongs to the GUI thread. showMessageQueued() may be
// called from any thread; it posts the message and never waits for the GUI
// thread, so a worker that the GUI thread is waiting for cannot deadlock on it.
class ErrorDisplay : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 300;
  static constexpr int kHeight = 24;

  explicit ErrorDisplay(QWidget* parent = nullptr);

  QString text() const { return text_; }
  // What the panel shows: "ERROR: <text>" or "Connection OK".
  QString displayText() const;
  bool showsError() const { return !text_.isEmpty(); }

  QSize sizeHint() const override;

  // Posts the text to the GUI thread, from any thread, without waiting.
  void showMessageQueued(const QString& text);

 public slots:
  // Sets the text and repaints at once (the error must be visible even when the
  // GUI thread goes on with long work). An empty text means no error.
  void setText(const QString& text);
  void clear() { setText(QString()); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
};
