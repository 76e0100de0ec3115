#include "ToolWindow.h"

#include <algorithm>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QMdiSubWindow>
#include <QScopedValueRollback>

#include "ThrTimer.h"
#include "canregthread.h"

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
  timer->setOnTimer([this, tick = std::move(tick)](TThreadedTimer*) {
    // The jobs a tick hands in are the timer's work, not the person's.
    const QScopedValueRollback<bool> inTick(inTimerTick_, true);
    tick();
  });
  QObject::connect(timer, &TThreadedTimer::tickError, timer,
                   [this](const QString& message) { host_.ShowStatusError(message); });
  timers_.push_back(timer);
  return timer;
}

bool TToolWindow::RunRegisterJob(TRegisterJob job, const std::vector<QWidget*>& busy, JobDone done) {
  if (!Connected()) return false;
  if (jobsPending_++ == 0) form()->setCursor(Qt::BusyCursor);
  // The focus is kept only when a control the job disables holds it: the
  // disabling moves it on, and it comes back when the job ends. Otherwise the
  // person may move it while the job runs (type into the next field) and it
  // stays where they put it.
  const QWidget* focus = QApplication::focusWidget();
  const bool keepsFocus = focus && std::any_of(busy.begin(), busy.end(), [focus](const QWidget* control) {
                            return control == focus || control->isAncestorOf(focus);
                          });
  if (keepsFocus) KeepFocus();
  std::vector<QPointer<QWidget>> held;
  for (QWidget* control : busy) {
    Held& h = held_[control];
    if (h.jobs++ == 0) h.wasEnabled = control->isEnabled();
    control->setEnabled(false);
    held.emplace_back(control);
  }
  Registers()->Submit(std::move(job), form(),
                      [this, held = std::move(held), done = std::move(done), automatic = inTimerTick_,
                       keepsFocus](const TRegisterJobOutcome& outcome) {
                        JobEnded(outcome, held, automatic);
                        if (keepsFocus) RestoreFocus();
                        if (done) done(outcome);
                      });
  return true;
}

void TToolWindow::JobEnded(const TRegisterJobOutcome& outcome, const std::vector<QPointer<QWidget>>& busy,
                           bool automatic) {
  for (const QPointer<QWidget>& control : busy) {
    if (!control) continue;
    const auto it = held_.find(control.data());
    if (it == held_.end() || --it->second.jobs > 0) continue;
    control->setEnabled(it->second.wasEnabled);
    held_.erase(it);
  }
  if (--jobsPending_ == 0) form()->unsetCursor();
  if (!outcome.error.empty() && outcome.result != TRegisterJobOutcome::Result::ReadFailed) {
    const QString message = QString::fromStdString(outcome.error);
    automatic ? host_.ShowStatusError(message) : host_.ShowError(message);
  }
}

void TToolWindow::BoardReached() {
  if (boardReached_) return;
  boardReached_ = true;
  RefreshFromBoard();
}

void TToolWindow::KeepFocus() {
  if (focusKept_++ > 0) return;
  QWidget* focus = QApplication::focusWidget();
  keptFocus_ = focus && (focus == form() || form()->isAncestorOf(focus)) ? focus : nullptr;
}

void TToolWindow::RestoreFocus() {
  if (focusKept_ == 0 || --focusKept_ > 0) return;
  if (keptFocus_ && keptFocus_->isEnabled() && keptFocus_->isVisible() &&
      FocusFollowedTheDisabling(QApplication::focusWidget()))
    keptFocus_->setFocus(Qt::TabFocusReason);  // as the keyboard brings it: a field starts at its first digit
  keptFocus_.clear();
}

bool TToolWindow::FocusFollowedTheDisabling(const QWidget* focus) const {
  if (!focus || focus == form() || form()->isAncestorOf(focus)) return true;
  for (const QWidget* w = focus; w; w = w->parentWidget())
    if (qobject_cast<const QMdiSubWindow*>(w) || qobject_cast<const QDockWidget*>(w)) return false;
  return focus->window() == form()->window();
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
