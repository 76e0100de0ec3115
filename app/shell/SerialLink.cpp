#include "SerialLink.h"

#include "AppError.h"
#include "canregthread.h"
#include "rs232.h"
#include "tavarnel.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

TSerialLink::TSerialLink(QObject* parent)
    : QObject(parent)
{
}

TSerialLink::~TSerialLink()
{
    if (m_thread) {
        requestStop();
        m_thread->Wait();
        m_thread.reset();
    }
    // The serial node's thread calls into the protocol node's wrapper: it goes first.
    m_serial.reset();
    m_protocol.reset();
}

void TSerialLink::createNodes()
{
    try {
        m_serial = std::make_unique<TRS232Object>();
        m_protocol = std::make_unique<TTavarnelObject>();
    } catch (...) {
        m_protocol.reset();
        m_serial.reset();
        throw;
    }
}

void TSerialLink::setSerialProperty(const std::string& name, const std::string& value)
{
    m_serial->SetProperty(name, value);
}

void TSerialLink::setProtocolProperty(const std::string& name, const std::string& value)
{
    m_protocol->SetProperty(name, value);
}

std::string TSerialLink::serialProperty(const std::string& name) const
{
    return m_serial->GetProperty(name);
}

std::string TSerialLink::protocolProperty(const std::string& name) const
{
    return m_protocol->GetProperty(name);
}

void TSerialLink::stackNodes()
{
    m_protocol->SetLowerNode(m_serial.get());
}

void TSerialLink::startThread()
{
    m_thread = std::make_unique<TCANRegAccessThread>(m_protocol.get());
    // ShowStatus runs in the main thread; only while connected does a pass's
    // status reach the error display.
    m_thread->SetStatusHandler([this](const std::string& status) {
        if (m_connected)
            emit statusReport(QString::fromStdString(status));
    });
    connect(m_thread.get(), &TCANRegAccessThread::terminated, this, &TSerialLink::onThreadFinished);
    holdLock();
    m_thread->Resume();
}

bool TSerialLink::threadRunning() const
{
    return m_thread && !m_terminated;
}

void TSerialLink::holdLock()
{
    if (!m_thread || m_lockHolds > 0)
        return;
    m_thread->Lock();
    ++m_lockHolds;
}

void TSerialLink::releaseLock()
{
    if (!m_thread || m_lockHolds == 0)
        return;
    --m_lockHolds;
    m_thread->Unlock();
}

void TSerialLink::openSerialAndRead()
{
    m_serial->Open();
    m_connected = true;
    if (m_thread)
        m_thread->ReadAll(false);
    releaseLock();
}

void TSerialLink::connectAtStart()
{
    if (!m_connected)
        return; // a property was rejected: nothing is opened, the lock stays held
    m_connected = false;
    m_protocol->Open();
    m_protocolOpen = true;
    openSerialAndRead();
}

void TSerialLink::reconnectWith(const std::string& serialPropertyName, const std::string& value)
{
    if (!hasNodes())
        return;
    try {
        if (m_connected) {
            holdLock();
            m_connected = false;
            m_serial->Close();
        }
        m_serial->SetProperty(serialPropertyName, value);
        // A protocol node that failed to open at start-up would make every pass
        // fail at once and the thread spin: it is opened with the serial node.
        if (!m_protocolOpen) {
            m_protocol->Open();
            m_protocolOpen = true;
        }
        openSerialAndRead();
    } catch (...) {
        m_connected = false;
        QThread::yieldCurrentThread();
        throw;
    }
}

void TSerialLink::requestStop()
{
    if (m_thread) {
        m_thread->Terminate();
        // An access waiting for the board returns now rather than at its time-out.
        if (m_protocol)
            m_protocol->ShutDown();
        if (!m_connected)
            releaseLock();
    }
    m_connected = false;
}

bool TSerialLink::waitForTermination(std::chrono::milliseconds limit)
{
    if (!m_thread)
        return true;
    QEventLoop loop;
    connect(this, &TSerialLink::terminatedSignal, &loop, &QEventLoop::quit);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    if (!m_terminated)
        loop.exec();
    return m_terminated;
}

void TSerialLink::abandon()
{
    if (!m_thread)
        return;
    disconnect(m_thread.get(), nullptr, this, nullptr);
    m_thread->SetStatusHandler({});
    (void)m_thread.release();
    (void)m_protocol.release();
    (void)m_serial.release();
}

void TSerialLink::onThreadFinished()
{
    if (!m_thread)
        return;
    bool closed = false;
    try {
        m_protocol->Close();
        m_protocolOpen = false;
        m_serial->Close();
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
    m_thread->Wait();
    m_thread.reset();
    m_lockHolds = 0;
    m_serial.reset();
    m_protocol.reset();
    m_terminated = true;
    emit terminatedSignal();
}
