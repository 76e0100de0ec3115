#include "QuitSignals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

namespace {

// The socket pair between the handler (writes [0]) and the notifier (reads [1]).
// Set before the handlers are installed, cleared after they are removed.
int g_sockets[2] = {-1, -1};

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onSignal(int number) {
  // Async-signal-safe only: the next signal of this kind takes its default action.
  std::signal(number, SIG_DFL);
  const char byte = 1;
  const int saved = errno;
  [[maybe_unused]] const ssize_t written = ::write(g_sockets[0], &byte, 1);
  errno = saved;
}

}  // namespace

void TQuitSignals::catchSignals() {
  if (g_sockets[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_sockets) != 0)
    return;  // already caught, or no orderly close on signals: they keep their default actions
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : kSignals) sigaction(number, &action, nullptr);
}

TQuitSignals::TQuitSignals(std::function<void()> onQuit, QObject* parent)
    : QObject(parent), onQuit_(std::move(onQuit)) {
  catchSignals();
  if (g_sockets[1] < 0) return;
  // A byte written before now is waiting in the socket: the notifier fires
  // at the first turn of the event loop.
  notifier_ = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TQuitSignals::readSignal);
}

TQuitSignals::~TQuitSignals() {
  if (!notifier_) return;
  for (const int number : kSignals) std::signal(number, SIG_DFL);
  delete notifier_;
  ::close(g_sockets[0]);
  ::close(g_sockets[1]);
  g_sockets[0] = g_sockets[1] = -1;
}

void TQuitSignals::readSignal() {
  char bytes[16];
  while (::read(g_sockets[1], bytes, sizeof bytes) > 0) {
  }
  if (onQuit_) onQuit_();
}
