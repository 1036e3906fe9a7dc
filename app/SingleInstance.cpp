#include "SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr char LockName[] = "QV Link";
constexpr char SocketSuffix[] = ".socket";
constexpr int RaiseWaitMs = 1000;

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

SingleInstance::Result SingleInstance::Acquire()
{
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError) {
            return Result::Unprotected;
        }
        AskRunningCopyToRaise();
        return Result::Running;
    }
    // Holding the lock, any socket left here belongs to a copy that is gone.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_socketPath)) {
        QLocalServer::removeServer(m_socketPath);
        m_server.listen(m_socketPath);
    }
    return Result::First;
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
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (socket.waitForConnected(RaiseWaitMs)) {
        socket.disconnectFromServer();
    }
}
