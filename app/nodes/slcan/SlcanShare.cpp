#include "SlcanShare.h"

#include <QSocketNotifier>

#include <unistd.h>
#include <cerrno>

TSlcanPort::TSlcanPort(std::string linkPath, QObject* parent)
    : QObject(parent), pty_(boardsim::PseudoTerminal::open()), linkPath_(std::move(linkPath)) {
  if (!linkPath_.empty()) boardsim::pointSymbolicLink(linkPath_, pty_.slavePath());
  reader_ = new QSocketNotifier(pty_.masterFd(), QSocketNotifier::Read, this);
  connect(reader_, &QSocketNotifier::activated, this, &TSlcanPort::ReadReady);
  writer_ = new QSocketNotifier(pty_.masterFd(), QSocketNotifier::Write, this);
  writer_->setEnabled(false);
  connect(writer_, &QSocketNotifier::activated, this, &TSlcanPort::Flush);
}

TSlcanPort::~TSlcanPort() {
  if (!linkPath_.empty()) boardsim::removeSymbolicLink(linkPath_, pty_.slavePath());
}

void TSlcanPort::SetReading(bool on) {
  reader_->setEnabled(on);
}

void TSlcanPort::ReadReady() {
  char bytes[4096];
  const ssize_t n = ::read(pty_.masterFd(), bytes, sizeof bytes);
  // EAGAIN: nothing after all. The pty keeps a descriptor of its own on the
  // device, so no client never reads as a hang-up.
  if (n > 0 && input_) input_(std::string_view(bytes, std::size_t(n)));
}

void TSlcanPort::Write(const std::string& bytes) {
  const std::size_t room = MaxPending - pending_.size();
  pending_.append(bytes, 0, std::min(room, bytes.size()));
  dropped_ += bytes.size() - std::min(room, bytes.size());
  Flush();
}

void TSlcanPort::Flush() {
  while (!pending_.empty()) {
    const ssize_t n = ::write(pty_.masterFd(), pending_.data(), pending_.size());
    if (n > 0) {
      pending_.erase(0, std::size_t(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // full (EAGAIN): the write notifier says when there is room
    }
  }
  writer_->setEnabled(!pending_.empty());
}

TSlcanShare::TSlcanShare(TCANRegAccessThread& registers, Options options, TSlcanBridge::LinkUp linkUp,
                         TSlcanBridge::Message message, QObject* parent)
    : QObject(parent), port_(new TSlcanPort(std::move(options.linkPath), this)) {
  bridge_ = new TSlcanBridge(
      registers, options.bridge, std::move(linkUp), [this](const std::string& bytes) { port_->Write(bytes); },
      std::move(message), this);
  // While a command is with the board the client's next bytes stay in the
  // pty: a client that writes faster than the board takes frames waits.
  port_->SetInput([this](std::string_view bytes) {
    bridge_->Feed(bytes);
    port_->SetReading(!bridge_->Busy());
  });
  connect(bridge_, &TSlcanBridge::ready, port_, [this] { port_->SetReading(true); });
}

std::string TSlcanShare::Where() const {
  if (port_->linkPath().empty()) return port_->devicePath();
  return port_->linkPath() + " (" + port_->devicePath() + ")";
}

void TSlcanShare::Finish(std::function<void()> done) {
  port_->SetReading(false);
  bridge_->Finish(std::move(done));
}
