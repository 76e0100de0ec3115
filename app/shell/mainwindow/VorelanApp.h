#pragma once

#include <QApplication>
#include <QString>

#include <functional>

// The program's application object. Its title is "Vorelan" and its help file
// "Vorelan.chm". Any exception that escapes an event handler is caught here
// and handed to the error handler the main window installs (its error
// display), so no handler's error ends the program; without a handler it is
// written to the standard error output.
//
// Threads: GUI thread only; notify() runs in whichever thread delivers an
// event, and the handler is only called for events of the GUI thread.
class TApplication : public QApplication {
  Q_OBJECT

 public:
  using ErrorHandler = std::function<void(const QString& message)>;

  TApplication(int& argc, char** argv);

  static TApplication* instance();  // null when the application is not a TApplication
  static QString title() { return QStringLiteral("Vorelan"); }
  static QString helpFile() { return QStringLiteral("Vorelan.chm"); }

  void setErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }
  bool hasErrorHandler() const { return bool(errorHandler_); }
  // Hands a message to the error handler (or the standard error output).
  void handleError(const QString& message);

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  ErrorHandler errorHandler_;
};
