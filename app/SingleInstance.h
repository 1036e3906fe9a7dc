// One copy of the program per user: a lock file named "QV Link" in the user's runtime folder,
// and a Unix-domain socket beside it (mode 0600) through which a second copy asks the first to
// bring its window to the front, handing over the activation token it was started with.
//
// The request on the socket: nothing at all (a bare connection, as older copies send), or up to
// two lines "XDG_ACTIVATION_TOKEN=<token>\n" and "DESKTOP_STARTUP_ID=<id>\n", then the end of
// the stream. A token is printable ASCII without blanks, at most MaxTokenBytes long; a request
// that breaks these rules still raises the window, but its tokens are refused.
//
// Thread-safety: a QObject of the UI thread; every call on that thread.
#pragma once

#include "UniqueFd.h"

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

class QSocketNotifier;

// What the desktop gave a start of the program so that its window may come to the front:
// the Wayland activation token and the X11 startup-notification id. Either may be empty.
struct ActivationToken
{
    QByteArray xdgActivationToken;
    QByteArray startupId;

    static ActivationToken FromEnvironment();
    bool operator==(const ActivationToken&) const = default;
};

class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxTokenBytes = 512;

    enum class Result
    {
        First,       // this copy holds the lock and answers raise requests
        Running,     // another copy holds it; it has been asked to come to the front
        Unprotected, // the lock could not be made; the program runs all the same
    };

    explicit SingleInstance(const QString& folder = DefaultFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    static QString DefaultFolder();

    // With Answer::Later the lock is taken but raise requests are answered only from Listen()
    // on; a second copy that starts in between waits for that (up to a second) before it ends.
    enum class Answer
    {
        Now,
        Later,
    };
    // When another copy runs, it is asked to come to the front with this copy's token.
    Result Acquire(Answer answer = Answer::Now, const ActivationToken& token = ActivationToken::FromEnvironment());
    // Starts answering raise requests; only while the lock is held.
    void Listen();
    // The window a raise request brings to the front; none (null) while the copy is starting.
    void SetWindow(QWidget* window);
    // Gives up the lock and stops answering.
    void Release();

signals:
    // A second copy asked, with the token it handed over (refused tokens are empty); emitted
    // after the window (if any) was brought to the front with it.
    void raiseRequested(bool windowRaised, const ActivationToken& token);

private:
    struct Peer;

    void OnNewConnection();
    void OnPeerReadable(Peer* peer);
    void EndPeer(Peer* peer, bool answer);
    void AskRunningCopyToRaise(const ActivationToken& token) const;

    QString m_socketPath;
    QLockFile m_lock;
    qvd::UniqueFd m_server;
    std::unique_ptr<QSocketNotifier> m_serverNotifier;
    std::vector<std::unique_ptr<Peer>> m_peers;
    QPointer<QWidget> m_window;
};

// The request's bytes for a token, and back: a refused request gives empty tokens and ok false.
// Outside the class so that the wire format can be tested on its own.
QByteArray EncodeActivationRequest(const ActivationToken& token);
ActivationToken DecodeActivationRequest(const QByteArray& request, bool* ok = nullptr);
