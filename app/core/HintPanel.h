#pragma once

#include <QLabel>
#include <QPointer>
#include <QString>

class QAction;
class QMainWindow;

// Hints hold a short and a long text separated by a bar, "short|long": the
// short one is the tool tip, the long one goes to the status bar's hint panel.
// Without a bar both are the whole hint.
namespace Hint {

QString shortPart(const QString& hint);
QString longPart(const QString& hint);

// Tool tip = short part; status tip (what the hint panel shows) = long part.
void apply(QWidget* widget, const QString& hint);
void apply(QAction* action, const QString& hint);

}  // namespace Hint

// The second panel of the main window's status bar: plain text, at least 50
// pixels wide and taking the rest of the bar. Once attached to a main window it
// shows the long hint of the control or menu entry under the mouse (Qt's status
// tips, which would otherwise go to QStatusBar's message area), in the main
// window and in every window of its own (a floating dock window, a dialog such
// as the About box), whose tips Qt stops at their own frame; the program may
// also write it directly ("Loading... Please Wait").
//
// Threads: GUI thread only.
class THintPanel : public QLabel {
  Q_OBJECT

 public:
  static constexpr int kMinimumWidth = 50;

  explicit THintPanel(QWidget* parent = nullptr);

  // Takes the status tips of the main window and of the windows it owns.
  void attachTo(QMainWindow* mainWindow);
  // Stops taking them.
  void detach();

  // Sets the text and repaints at once, for messages shown before long work.
  void showNow(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // True for a widget of the main window or of a window it owns.
  bool belongsToMainWindow(const QWidget* widget) const;

  QPointer<QMainWindow> mainWindow_;
};
