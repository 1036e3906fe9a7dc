// One copy of the program per user: a lock file named "QV Link" in the user's runtime folder,
// and a local socket beside it through which a second copy asks the first to bring its window
// to the front.
//
// Thread-safety: a QObject of the UI thread; every call on that thread.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class SingleInstance : public QObject
{
    Q_OBJECT

public:
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
    Result Acquire(Answer answer = Answer::Now);
    // Starts answering raise requests; only while the lock is held.
    void Listen();
    // The window a raise request brings to the front; none (null) while the copy is starting.
    void SetWindow(QWidget* window);
    // Gives up the lock and stops answering.
    void Release();

signals:
    // A second copy asked; emitted after the window (if any) was raised.
    void raiseRequested(bool windowRaised);

private:
    void OnNewConnection();
    void AskRunningCopyToRaise();

    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer m_server;
    QPointer<QWidget> m_window;
};
