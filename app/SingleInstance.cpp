#include "SingleInstance.h"

#include "WindowActivation.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

constexpr char LockName[] = "QV Link";
constexpr char SocketSuffix[] = ".socket";
constexpr int RaiseWaitMs = 1000;
constexpr unsigned long RetryPauseMs = 10;
// A second copy writes its request and closes at once; one that keeps the connection open
// longer than this is not one.
constexpr int PeerWaitMs = 1000;
constexpr int Backlog = 8;
// Connections taken per wake-up of the listening socket; the rest wait for the next turn.
constexpr int AcceptsPerTurn = 16;
constexpr char XdgKey[] = "XDG_ACTIVATION_TOKEN=";
constexpr char StartupKey[] = "DESKTOP_STARTUP_ID=";
// Both lines at their longest.
constexpr int MaxRequestBytes = 2 * (SingleInstance::MaxTokenBytes + 24);

bool IsTokenText(const QByteArray& token)
{
    return token.size() <= SingleInstance::MaxTokenBytes &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

std::optional<sockaddr_un> SocketAddress(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || static_cast<size_t>(name.size()) >= sizeof(address.sun_path)) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    return address;
}

} // namespace

ActivationToken ActivationToken::FromEnvironment()
{
    return {qgetenv("XDG_ACTIVATION_TOKEN"), qgetenv("DESKTOP_STARTUP_ID")};
}

QByteArray EncodeActivationRequest(const ActivationToken& token)
{
    QByteArray request;
    if (!token.xdgActivationToken.isEmpty() && IsTokenText(token.xdgActivationToken)) {
        request += XdgKey + token.xdgActivationToken + '\n';
    }
    if (!token.startupId.isEmpty() && IsTokenText(token.startupId)) {
        request += StartupKey + token.startupId + '\n';
    }
    return request;
}

ActivationToken DecodeActivationRequest(const QByteArray& request, bool* ok)
{
    ActivationToken token;
    // A bare connection asks for the window with no token.
    bool good = request.isEmpty() || (request.size() <= MaxRequestBytes && request.endsWith('\n'));
    if (good && !request.isEmpty()) {
        for (const QByteArray& line : request.chopped(1).split('\n')) {
            QByteArray* slot = nullptr;
            qsizetype keyLength = 0;
            if (line.startsWith(XdgKey)) {
                slot = &token.xdgActivationToken;
                keyLength = static_cast<qsizetype>(std::strlen(XdgKey));
            } else if (line.startsWith(StartupKey)) {
                slot = &token.startupId;
                keyLength = static_cast<qsizetype>(std::strlen(StartupKey));
            }
            const QByteArray value = line.mid(keyLength);
            // Each key once, each value a token.
            if (slot == nullptr || !slot->isEmpty() || value.isEmpty() || !IsTokenText(value)) {
                good = false;
                break;
            }
            *slot = value;
        }
    }
    if (!good) {
        token = {};
    }
    if (ok != nullptr) {
        *ok = good;
    }
    return token;
}

// One connection of a second copy: what it has sent so far, until it closes.
struct SingleInstance::Peer
{
    qvd::UniqueFd fd;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer deadline;
    QByteArray request;
    bool overflow = false;
};

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent)
    , m_socketPath(QDir(folder).filePath(QString::fromLatin1(LockName) + QString::fromLatin1(SocketSuffix)))
    , m_lock(QDir(folder).filePath(QString::fromLatin1(LockName)))
{
    // Only a lock whose process is gone is stale, however old it is.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    Release();
}

QString SingleInstance::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::Result SingleInstance::Acquire(Answer answer, const ActivationToken& token)
{
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError) {
            return Result::Unprotected;
        }
        AskRunningCopyToRaise(token);
        return Result::Running;
    }
    if (answer == Answer::Now) {
        Listen();
    }
    return Result::First;
}

void SingleInstance::Listen()
{
    if (!m_lock.isLocked() || m_server.valid()) {
        return;
    }
    const std::optional<sockaddr_un> address = SocketAddress(m_socketPath);
    if (!address) {
        return;
    }
    qvd::UniqueFd server(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!server.valid()) {
        return;
    }
    const QByteArray path = QFile::encodeName(m_socketPath);
    const auto* raw = reinterpret_cast<const sockaddr*>(&*address);
    // Holding the lock, any socket left here belongs to a copy that is gone.
    if (::bind(server.get(), raw, sizeof(*address)) != 0) {
        ::unlink(path.constData());
        if (::bind(server.get(), raw, sizeof(*address)) != 0) {
            return;
        }
    }
    // The runtime folder is the user's alone already; the socket is as well.
    ::chmod(path.constData(), S_IRUSR | S_IWUSR);
    if (::listen(server.get(), Backlog) != 0) {
        ::unlink(path.constData());
        return;
    }
    m_server = std::move(server);
    m_serverNotifier = std::make_unique<QSocketNotifier>(m_server.get(), QSocketNotifier::Read);
    connect(m_serverNotifier.get(), &QSocketNotifier::activated, this, &SingleInstance::OnNewConnection);
}

void SingleInstance::SetWindow(QWidget* window)
{
    m_window = window;
}

void SingleInstance::Release()
{
    m_window = nullptr;
    m_peers.clear();
    if (m_server.valid()) {
        m_serverNotifier.reset();
        m_server.reset();
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
    if (m_lock.isLocked()) {
        m_lock.unlock();
    }
}

void SingleInstance::OnNewConnection()
{
    for (int i = 0; i < AcceptsPerTurn; ++i) {
        qvd::UniqueFd fd(::accept4(m_server.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd.valid()) {
            return;
        }
        auto peer = std::make_unique<Peer>();
        Peer* raw = peer.get();
        peer->fd = std::move(fd);
        peer->notifier = std::make_unique<QSocketNotifier>(peer->fd.get(), QSocketNotifier::Read);
        connect(peer->notifier.get(), &QSocketNotifier::activated, this, [this, raw] { OnPeerReadable(raw); });
        peer->deadline.setSingleShot(true);
        connect(&peer->deadline, &QTimer::timeout, this, [this, raw] { EndPeer(raw, false); });
        peer->deadline.start(PeerWaitMs);
        m_peers.push_back(std::move(peer));
    }
}

void SingleInstance::OnPeerReadable(Peer* peer)
{
    char buffer[256];
    for (;;) {
        const ssize_t got = ::recv(peer->fd.get(), buffer, sizeof(buffer), 0);
        if (got > 0) {
            // Past the longest request nothing more is kept; the end of the stream still counts.
            if (peer->request.size() + got > MaxRequestBytes) {
                peer->overflow = true;
            } else {
                peer->request.append(buffer, static_cast<qsizetype>(got));
            }
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        // The end of the stream ends the request; an error answers it as it stands.
        EndPeer(peer, true);
        return;
    }
}

void SingleInstance::EndPeer(Peer* peer, bool answer)
{
    const auto found = std::find_if(m_peers.begin(), m_peers.end(),
                                    [peer](const std::unique_ptr<Peer>& p) { return p.get() == peer; });
    if (found == m_peers.end()) {
        return;
    }
    // Destroyed after this turn of the event loop: its notifier or timer is what called.
    std::unique_ptr<Peer> ending = std::move(*found);
    m_peers.erase(found);
    ending->notifier->setEnabled(false);
    ending->deadline.stop();
    const bool overflow = ending->overflow;
    const QByteArray request = ending->request;
    QTimer::singleShot(0, this, [gone = std::shared_ptr<Peer>(std::move(ending))] {});
    if (!answer) {
        return;
    }
    const ActivationToken token = overflow ? ActivationToken{} : DecodeActivationRequest(request);
    bool raised = false;
    // A user who starts the program again wants to see it: a minimised window comes back
    // as well as to the front.
    if (m_window != nullptr && m_window->isVisible()) {
        BringToFront(*m_window, token);
        raised = true;
    }
    emit raiseRequested(raised, token);
}

void SingleInstance::AskRunningCopyToRaise(const ActivationToken& token) const
{
    const std::optional<sockaddr_un> address = SocketAddress(m_socketPath);
    if (!address) {
        return;
    }
    const QByteArray request = EncodeActivationRequest(token);
    // The running copy may still be starting: it holds the lock but answers only once its
    // window is up, and until then there is no socket, or one a copy that is gone left behind.
    QDeadlineTimer deadline(RaiseWaitMs);
    for (;;) {
        qvd::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd.valid()) {
            return;
        }
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) == 0) {
            // A few hundred bytes fit the socket's buffer: the write does not wait for the
            // running copy to read.
            timeval limit{1, 0};
            ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
            qsizetype sent = 0;
            while (sent < request.size()) {
                const ssize_t n = ::send(fd.get(), request.constData() + sent,
                                         static_cast<size_t>(request.size() - sent), MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    break;
                }
                sent += n;
            }
            return;
        }
        const bool notYet = errno == ENOENT || errno == ECONNREFUSED || errno == EAGAIN;
        if (!notYet || deadline.hasExpired()) {
            return;
        }
        QThread::msleep(RetryPauseMs);
    }
}
