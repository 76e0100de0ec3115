#include "SerialLink.h"

#include "AppError.h"
#include "LinkSettings.h"
#include "RegisterSession.h"
#include "canregthread.h"
#include "rs232.h"
#include "tavarnel.h"

#include <QEventLoop>
#include <QTimer>

#include <functional>

TSerialLink::TSerialLink(QObject* parent) : QObject(parent) {}

TSerialLink::~TSerialLink() {
  if (thread_) {
    requestStop();
    thread_.reset();  // joins the thread, which ends at once
  }
  // The serial node's thread calls into the protocol node's wrapper: it goes first.
  serial_.reset();
  protocol_.reset();
}

TLinkStartReport TSerialLink::start(const TLinkSettings& comm, PortAtStart portAtStart) {
  TLinkStartReport report;
  // Runs one step; its failure is reported, and false.
  const auto step = [&report](const std::function<void()>& action) {
    try {
      action();
      return true;
    } catch (const std::exception& e) {
      report.errors << QString::fromUtf8(e.what());
      return false;
    }
  };

  if (!step([this] { createNodes(); })) return report;
  bool allTaken = step([&] { setSerialProperty("CommPort", comm.port.toStdString()); });
  if (allTaken) report.port = {true, CommChoice::portForText(comm.port)};
  allTaken = step([&] { setSerialProperty("Settings", comm.settings.toStdString()); }) && allTaken;
  if (allTaken) report.speed = {true, CommChoice::speedForText(comm.settings)};
  allTaken = step([&] {
               setProtocolProperty("TimeOut", comm.timeOut.toStdString());
               report.timeOut = answerTimeOut();
             }) &&
             allTaken;

  if (!step([this] {
        stackNodes();
        startThread();
      }))
    return report;
  // A property refused: nothing is opened, and the main thread keeps the lock.
  if (allTaken && portAtStart == PortAtStart::Open) step([this] { connectAtStart(); });
  report.connected = connected_;
  return report;
}

std::chrono::milliseconds TSerialLink::answerTimeOut() const {
  bool number = false;
  const int timeOut = QString::fromStdString(protocolProperty("TimeOut")).toInt(&number);
  return TTavarnelObject::EffectiveTimeOut(number ? timeOut : -1);
}

void TSerialLink::createNodes() {
  try {
    serial_ = std::make_unique<TRS232Object>();
    protocol_ = std::make_unique<TTavarnelObject>();
  } catch (...) {
    protocol_.reset();
    serial_.reset();
    throw;
  }
}

void TSerialLink::setSerialProperty(const std::string& name, const std::string& value) {
  serial_->SetProperty(name, value);
}

void TSerialLink::setProtocolProperty(const std::string& name, const std::string& value) {
  protocol_->SetProperty(name, value);
}

std::string TSerialLink::serialProperty(const std::string& name) const {
  return serial_->GetProperty(name);
}

std::string TSerialLink::protocolProperty(const std::string& name) const {
  return protocol_->GetProperty(name);
}

void TSerialLink::stackNodes() {
  protocol_->SetLowerNode(serial_.get());
}

void TSerialLink::startThread() {
  thread_ = std::make_unique<TCANRegAccessThread>(protocol_.get());
  // A pass's status reaches the error display only while connected.
  thread_->SetStatusHandler([this](const std::string& status) {
    if (connected_) emit statusReport(QString::fromStdString(status));
  });
  connect(thread_.get(), &TCANRegAccessThread::terminated, this, &TSerialLink::onThreadFinished);
  thread_->Resume();
}

bool TSerialLink::threadRunning() const {
  return thread_ && !terminated_;
}

void TSerialLink::connectAtStart() {
  connected_ = false;
  protocol_->Open();
  protocolOpen_ = true;
  serial_->Open();
  serialOpen_ = true;
  connected_ = true;
  // The thread's first job; polling begins once it is done. A failed read
  // is shown as the pass's status, and the passes try again.
  thread_->SubmitTask(
      [thread = thread_.get()](TRegisterSession& session) {
        try {
          session.ReadAll();
        } catch (const EReadFailed&) {
        }
        thread->SetPolling(true);
      },
      this);
}

void TSerialLink::reconnectWith(const std::string& serialPropertyName, const std::string& value) {
  if (!hasNodes() || !thread_) return;
  connected_ = false;
  thread_->SetPolling(false);
  ++changesPending_;
  thread_->SubmitTask(
      [this, serialPropertyName, value](TRegisterSession& session) { changeLink(session, serialPropertyName, value); },
      this, [this](const TRegisterJobOutcome& outcome) { linkChangeEnded(outcome); });
}

void TSerialLink::changeLink(TRegisterSession& session, const std::string& name, const std::string& value) {
  if (serialOpen_) {
    serialOpen_ = false;
    serial_->Close();
  }
  serial_->SetProperty(name, value);
  // A protocol node that failed to open at start-up would make every pass
  // fail at once: it is opened with the serial node.
  if (!protocolOpen_) {
    protocol_->Open();
    protocolOpen_ = true;
  }
  serial_->Open();
  serialOpen_ = true;
  thread_->SetPolling(true);
  session.ReadAll();
}

void TSerialLink::linkChangeEnded(const TRegisterJobOutcome& outcome) {
  using Result = TRegisterJobOutcome::Result;
  if (--changesPending_ > 0 || outcome.result == Result::Cancelled) return;  // the last change decides
  connected_ = outcome.written();
  if (!connected_) {
    emit linkChanged(QString::fromStdString(outcome.error));
    return;
  }
  emit linkChanged(QString());
  // The read's status came while the flag was still clear.
  emit statusReport(QString::fromStdString(outcome.error));
}

void TSerialLink::requestStop() {
  // An access waiting for the board returns now rather than at its time-out.
  if (thread_) thread_->Terminate();
  connected_ = false;
}

bool TSerialLink::waitForTermination(std::chrono::milliseconds limit) {
  if (!thread_) return true;
  QEventLoop loop;
  connect(this, &TSerialLink::terminatedSignal, &loop, &QEventLoop::quit);
  QTimer::singleShot(limit, &loop, &QEventLoop::quit);
  if (!terminated_) loop.exec();
  return terminated_;
}

void TSerialLink::abandon() {
  if (!thread_) return;
  disconnect(thread_.get(), nullptr, this, nullptr);
  thread_->SetStatusHandler({});
  (void)thread_.release();
  (void)protocol_.release();
  (void)serial_.release();
}

void TSerialLink::onThreadFinished() {
  if (!thread_) return;
  bool closed = false;
  try {
    protocol_->Close();
    protocolOpen_ = false;
    serial_->Close();
    serialOpen_ = false;
    closed = true;
  } catch (const std::exception&) {
    // A node that fails to close still goes: the settings are not saved from it.
  }
  if (closed) {
    try {
      emit nodesClosed();
    } catch (const std::exception&) {
    }
  }
  thread_->Wait();
  thread_.reset();
  serial_.reset();
  protocol_.reset();
  terminated_ = true;
  emit terminatedSignal();
}
