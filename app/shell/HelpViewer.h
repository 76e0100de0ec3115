#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QTextBrowser;
class QToolButton;

// The program's help viewer: a window of its own beside the main window that
// shows the help pages compiled into the program (resource folder ":/help"),
// with buttons for the contents and for going back and forward. It never keeps
// the program running: closing the main window ends the program with it.
//
// Threads: GUI thread only.
class THelpViewer : public QWidget {
  Q_OBJECT

 public:
  explicit THelpViewer(QWidget* parent = nullptr);

  // Opens the page that a help command names ("vorelan.chm" for the contents,
  // "vorelan.chm::/Trace_window.html" for a window's page) in the program's
  // shared viewer, creating it on first use, and brings the viewer to the
  // front without waiting for it. A command naming no known page opens the
  // contents and returns false.
  static bool showPage(const QString& chmStyleCommand);
  // The shared viewer, or null when none is open.
  static THelpViewer* shared();

  // Opens a page in this viewer; false (and the contents) for an unknown page.
  bool openCommand(const QString& chmStyleCommand);
  // The page shown, for instance "Trace_window.html".
  QString currentPage() const;
  QString currentTitle() const;

  static QUrl urlOfPage(const QString& page);

 private:
  void updateTitle();

  QTextBrowser* browser_;
  QToolButton* back_;
  QToolButton* forward_;
};
