#include "VorelanApp.h"

#include <QThread>

#include <cstdio>
#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(title());
  setApplicationVersion(QStringLiteral("1.1"));
  // The installed menu entry (packaging/vorelan.desktop): a Wayland desktop finds
  // the window's icon and name through it.
  setDesktopFileName(QStringLiteral("vorelan"));
}

TApplication* TApplication::instance() {
  return qobject_cast<TApplication*>(QCoreApplication::instance());
}

void TApplication::handleError(const QString& message) {
  if (errorHandler_ && QThread::currentThread() == thread())
    errorHandler_(message);
  else
    std::fprintf(stderr, "vorelan: %s\n", qPrintable(message));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    handleError(QString::fromUtf8(e.what()));
  } catch (...) {
    handleError(QStringLiteral("Unknown error"));
  }
  return false;
}
