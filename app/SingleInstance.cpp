#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>

namespace {

constexpr char LockName[] = "QV Link";
constexpr char SocketSuffix[] = ".socket";
constexpr int RaiseWaitMs = 1000;
constexpr unsigned long RetryPauseMs = 10;

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent)
    , m_socketPath(QDir(folder).filePath(QString::fromLatin1(LockName) + QString::fromLatin1(SocketSuffix)))
    , m_lock(QDir(folder).filePath(QString::fromLatin1(LockName)))
{
    // Only a lock whose process is gone is stale, however old it is.
    m_lock.setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
}

SingleInstance::~SingleInstance()
{
    Release();
}

QString SingleInstance::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::Result SingleInstance::Acquire(Answer answer)
{
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError) {
            return Result::Unprotected;
        }
        AskRunningCopyToRaise();
        return Result::Running;
    }
    if (answer == Answer::Now) {
        Listen();
    }
    return Result::First;
}

void SingleInstance::Listen()
{
    if (!m_lock.isLocked() || m_server.isListening()) {
        return;
    }
    // Holding the lock, any socket left here belongs to a copy that is gone.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_socketPath)) {
        QLocalServer::removeServer(m_socketPath);
        m_server.listen(m_socketPath);
    }
}

void SingleInstance::SetWindow(QWidget* window)
{
    m_window = window;
}

void SingleInstance::Release()
{
    m_window = nullptr;
    if (m_server.isListening()) {
        m_server.close();
    }
    if (m_lock.isLocked()) {
        m_lock.unlock();
    }
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket* peer = m_server.nextPendingConnection()) {
        // The connection itself is the request; nothing is read from it.
        peer->disconnectFromServer();
        peer->deleteLater();
        bool raised = false;
        // A user who starts the program again wants to see it: a minimised window comes back
        // as well as to the front.
        if (m_window != nullptr && m_window->isVisible()) {
            if (m_window->isMinimized()) {
                m_window->showNormal();
            }
            m_window->raise();
            m_window->activateWindow();
            raised = true;
        }
        emit raiseRequested(raised);
    }
}

void SingleInstance::AskRunningCopyToRaise()
{
    // The running copy may still be starting: it holds the lock but answers only once its
    // window is up, and until then there is no socket, or one a copy that is gone left behind.
    QDeadlineTimer deadline(RaiseWaitMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) {
            socket.disconnectFromServer();
            return;
        }
        const QLocalSocket::LocalSocketError error = socket.error();
        socket.abort();
        const bool notYet = error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError;
        if (!notYet || deadline.hasExpired()) {
            return;
        }
        QThread::msleep(RetryPauseMs);
    }
}
