#include "TestDriver.h"

#include <QAbstractEventDispatcher>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QStringList>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

std::unique_ptr<TTestDriver> TTestDriver::fromEnvironment() {
  const QString path = qEnvironmentVariable(kEnvironmentVariable);
  if (path.isEmpty()) return nullptr;
  QString error = refusalFor(path);
  std::unique_ptr<TTestDriver> driver(new TTestDriver());
  if (error.isEmpty() && driver->listen(path, &error)) return driver;
  std::fprintf(stderr, "vorelan: the test driver does not listen on %s: %s\n", qPrintable(path), qPrintable(error));
  return nullptr;
}

QString TTestDriver::refusalFor(const QString& socketPath) {
  const QFileInfo socket(socketPath);
  if (!socket.isAbsolute()) return QStringLiteral("the path is not absolute");
  const QByteArray folder = QFile::encodeName(socket.absolutePath());
  struct stat status {};
  if (::lstat(folder.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
    return QStringLiteral("its folder does not exist");
  if (status.st_uid != ::geteuid()) return QStringLiteral("its folder belongs to another user");
  if (status.st_mode & (S_IRWXG | S_IRWXO))
    return QStringLiteral("its folder is open to other users (needs mode 0700)");
  const QByteArray path = QFile::encodeName(socketPath);
  if (::lstat(path.constData(), &status) != 0) return QString();  // nothing there yet
  if (!S_ISSOCK(status.st_mode)) return QStringLiteral("something that is not a socket is there");
  if (status.st_uid != ::geteuid()) return QStringLiteral("a socket of another user is there");
  // A socket a crashed run left refuses connections; one that takes them is another program's.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) return QStringLiteral("the path is too long");
  std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (probe >= 0) ::close(probe);
  if (live) return QStringLiteral("another program listens on the socket there");
  return QString();
}

TTestDriver::TTestDriver() : server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  server_->setMaxPendingConnections(1);
  connect(server_, &QLocalServer::newConnection, this, &TTestDriver::acceptClient);
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          &TTestDriver::programWaits);
}

TTestDriver::~TTestDriver() {
  if (client_) client_->abort();
}

bool TTestDriver::listen(const QString& socketPath, QString* error) {
  // refusalFor() found at most a socket of the user's that nobody serves.
  QLocalServer::removeServer(socketPath);
  if (server_->listen(socketPath)) return true;
  *error = server_->errorString();
  return false;
}

void TTestDriver::acceptClient() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    if (client_) {  // one client at a time
      socket->abort();
      socket->deleteLater();
      continue;
    }
    client_ = socket;
    partial_.clear();
    connect(socket, &QLocalSocket::readyRead, this, &TTestDriver::readRequests);
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
      if (client_ == socket) client_ = nullptr;
      socket->deleteLater();
    });
  }
}

void TTestDriver::readRequests() {
  if (!client_) return;
  partial_ += client_->readAll();
  if (!takeRequests(partial_, requests_)) {
    PendingAnswer refusal{answerLine(
        {false, QStringLiteral("a request longer than %1 bytes: the connection ends").arg(kMaxRequestLength), {}})};
    send(refusal);
    client_->disconnectFromServer();
    partial_.clear();
  }
  schedule();
}

bool TTestDriver::takeRequests(QByteArray& pending, std::deque<QString>& requests) {
  qsizetype start = 0;
  for (qsizetype end; (end = pending.indexOf('\n', start)) >= 0; start = end + 1) {
    if (end - start > kMaxRequestLength) return false;
    requests.push_back(QString::fromUtf8(pending.constData() + start, end - start));
  }
  pending.remove(0, start);
  return pending.size() <= kMaxRequestLength;
}

void TTestDriver::schedule() {
  if (scheduled_ || requests_.empty()) return;
  scheduled_ = true;
  QMetaObject::invokeMethod(this, &TTestDriver::runQueued, Qt::QueuedConnection);
}

void TTestDriver::runQueued() {
  scheduled_ = false;
  while (!inputUnderWay_ && !requests_.empty()) {
    const QString request = requests_.front();
    requests_.pop_front();
    execute(request);
  }
}

void TTestDriver::execute(const QString& request) {
  const TestDriverCommands::Reply reply = TestDriverCommands::run(request.split(QLatin1Char('\t')));
  PendingAnswer answer{answerLine(reply)};
  if (!reply.act) {
    send(answer);
    return;
  }
  underWay_.push_back(&answer);
  inputUnderWay_ = true;
  reply.act();
  // Handled, or the nested loop it opened has ended.
  underWay_.pop_back();
  inputUnderWay_ = false;
  send(answer);
  schedule();
}

void TTestDriver::send(PendingAnswer& answer) {
  if (answer.sent) return;
  answer.sent = true;
  if (!client_) return;
  client_->write(answer.line.toUtf8() + '\n');
  client_->flush();
}

void TTestDriver::programWaits() {
  if (!inputUnderWay_) return;
  inputUnderWay_ = false;
  for (PendingAnswer* answer : underWay_) send(*answer);
  schedule();
}

QString TTestDriver::answerLine(const TestDriverCommands::Reply& reply) {
  QString line = reply.ok ? QStringLiteral("ok") : QStringLiteral("error");
  if (!reply.text.isEmpty() || !reply.ok) line += QLatin1Char('\t') + escape(reply.text);
  return line;
}

QString TTestDriver::escape(const QString& text) {
  QString escaped;
  escaped.reserve(text.size());
  for (QChar c : text) {
    if (c == QLatin1Char('\\'))
      escaped += QStringLiteral("\\\\");
    else if (c == QLatin1Char('\n'))
      escaped += QStringLiteral("\\n");
    else if (c == QLatin1Char('\r'))
      escaped += QStringLiteral("\\r");
    else if (c == QLatin1Char('\t'))
      escaped += QStringLiteral("\\t");
    else
      escaped += c;
  }
  return escaped;
}
