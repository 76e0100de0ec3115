#include "CommandLineFiles.h"

#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <cstdio>

#include "MainFrm.h"

void TCommandLineFiles::openWhenShown(TMainFrm& mainFrm, const QStringList& paths) {
  if (!paths.isEmpty()) new TCommandLineFiles(mainFrm, paths);
}

TCommandLineFiles::TCommandLineFiles(TMainFrm& mainFrm, const QStringList& paths)
    : QObject(&mainFrm), mainFrm_(mainFrm), paths_(paths), longestWait_(new QTimer(this)) {
  longestWait_->setSingleShot(true);
  connect(longestWait_, &QTimer::timeout, this, &TCommandLineFiles::openSoon);
  longestWait_->start(kLongestWaitMs);
  QWindow* window = mainFrm_.windowHandle();
  if (window && window->isExposed())
    openSoon();
  else if (window)
    window->installEventFilter(this);
}

bool TCommandLineFiles::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) openSoon();
  return false;
}

void TCommandLineFiles::openSoon() {
  if (opening_) return;
  opening_ = true;
  longestWait_->stop();
  if (QWindow* window = mainFrm_.windowHandle()) window->removeEventFilter(this);
  QTimer::singleShot(0, this, &TCommandLineFiles::open);
}

void TCommandLineFiles::open() {
  for (const QString& failure : mainFrm_.openFiles(paths_)) std::fprintf(stderr, "vorelan: %s\n", qPrintable(failure));
  deleteLater();
}
