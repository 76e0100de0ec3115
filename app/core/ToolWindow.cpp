#include "ToolWindow.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QMdiSubWindow>

#include <exception>

#include "AppError.h"
#include "RegisterSession.h"
#include "ThrTimer.h"

TToolWindow::TToolWindow(QWidget* form, IToolWindowHost& host) : TRegPosSavedFrm(form), host_(host) {}

TToolWindow::~TToolWindow() {
  for (TThreadedTimer* timer : timers_) delete timer;
}

bool TToolWindow::Connected() const {
  return host_.Connected() && host_.RegisterThread();
}

TThreadedTimer* TToolWindow::AddTimer(const QString& name, int intervalMs, TimerState state,
                                      std::function<void()> tick) {
  auto* timer = new TThreadedTimer(form());
  timer->setObjectName(name);
  timer->setEnabled(state == TimerState::Enabled);
  timer->setInterval(static_cast<quint16>(intervalMs));
  timer->setOnTimer([tick = std::move(tick)](TThreadedTimer*) { tick(); });
  QObject::connect(timer, &TThreadedTimer::tickError, timer,
                   [this](const QString& message) { host_.ShowError(message); });
  timers_.push_back(timer);
  return timer;
}

bool TToolWindow::RunRegisterAccess(const std::function<void(TRegisterSession&)>& access) {
  if (!Connected()) return false;
  try {
    TRegisterSession session(*Registers());
    access(session);
    return true;
  } catch (const EReadFailed&) {
    // Shown by the pass that failed.
  } catch (const EShutdown&) {
    // The program is closing: nothing to tell.
  } catch (const std::exception& e) {
    host_.ShowError(QString::fromUtf8(e.what()));
  }
  return false;
}

void TToolWindow::OnFileEntry(const QString& objectName, std::function<void(const QString&)> handler) {
  fileHandlers_[objectName] = std::move(handler);
}

bool TToolWindow::RunFileEntry(const QString& objectName, const QString& path) {
  const auto it = fileHandlers_.find(objectName);
  if (it == fileHandlers_.end()) return false;
  it->second(path);
  return true;
}

void TToolWindow::formClose(QCloseEvent* event) {
  if (auto* dock = qobject_cast<QDockWidget*>(form())) {
    event->accept();
    dock->hide();
    if (!dock->isFloating()) {
      const QSize client = dock->widget() ? dock->widget()->size() : dock->size();
      dock->setFloating(true);
      dock->resize(client);
    }
    return;
  }
  event->ignore();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(form()->parentWidget()))
    sub->showMinimized();
  else
    form()->showMinimized();
}
