// One copy per user: the lock, the raise request to the running copy with the activation
// token of the second start, and what happens when the running copy has no window yet or the
// lock cannot be made.

#include "SingleInstance.h"
#include "WindowActivation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

Q_DECLARE_METATYPE(ActivationToken)

namespace {

// Sends raw bytes to the running copy's socket, as a copy of another build (or anything else
// of the user's) could, and closes.
bool SendRaw(const QString& folder, const QByteArray& bytes)
{
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(QStringLiteral("QV Link.socket")));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
              ::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyAsksTheFirst_data();
    void secondCopyAsksTheFirst();
    void lockIsFreeAgainAfterRelease();
    void secondCopyWaitsForAFirstStillStarting_data();
    void secondCopyWaitsForAFirstStillStarting();
    void secondCopyHandsOverItsToken_data();
    void secondCopyHandsOverItsToken();
    void tokenComesFromTheEnvironment();
    void requestsOnTheWire_data();
    void requestsOnTheWire();
    void socketIsTheUsersAlone();
    void startupIdTime();
};

void TestSingleInstance::secondCopyAsksTheFirst_data()
{
    QTest::addColumn<int>("window"); // 0: none yet, 1: not shown yet, 2: shown, 3: minimised
    QTest::addColumn<bool>("leftoverSocket");
    QTest::addColumn<bool>("raised");
    QTest::newRow("shown window is raised") << 2 << false << true;
    QTest::newRow("starting up: ends silently") << 0 << false << false;
    QTest::newRow("window not shown yet") << 1 << false << false;
    QTest::newRow("minimised window is restored and raised") << 3 << false << true;
    QTest::newRow("socket left by a crashed copy") << 2 << true << true;
}

void TestSingleInstance::secondCopyAsksTheFirst()
{
    QFETCH(int, window);
    QFETCH(bool, leftoverSocket);
    QFETCH(bool, raised);
    QTemporaryDir folder;
    if (leftoverSocket) {
        QFile leftover(folder.filePath(QStringLiteral("QV Link.socket")));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
    }
    SingleInstance first(folder.path());
    QCOMPARE(first.Acquire(), SingleInstance::Result::First);
    QVERIFY(QFile::exists(folder.filePath(QStringLiteral("QV Link"))));
    QWidget shown;
    if (window == 2) {
        shown.show();
    } else if (window == 3) {
        shown.showMinimized();
        QTRY_VERIFY(shown.isMinimized());
    }
    if (window != 0) {
        first.SetWindow(&shown);
    }
    QSignalSpy asked(&first, &SingleInstance::raiseRequested);

    SingleInstance second(folder.path());
    QCOMPARE(second.Acquire(), SingleInstance::Result::Running);
    QTRY_COMPARE(asked.count(), 1);
    QCOMPARE(asked.at(0).at(0).toBool(), raised);
    QCOMPARE(shown.isVisible(), window >= 2); // a hidden window is not shown
    QTRY_VERIFY(!shown.isMinimized());        // a minimised one is restored
}

void TestSingleInstance::lockIsFreeAgainAfterRelease()
{
    QTemporaryDir folder;
    {
        SingleInstance first(folder.path());
        QCOMPARE(first.Acquire(), SingleInstance::Result::First);
        first.Release();
        SingleInstance second(folder.path());
        QCOMPARE(second.Acquire(), SingleInstance::Result::First);
    } // ending without Release frees the lock too
    SingleInstance third(folder.path());
    QCOMPARE(third.Acquire(), SingleInstance::Result::First);
    // Where no lock can be made the program runs all the same.
    QCOMPARE(SingleInstance(folder.filePath(QStringLiteral("does/not/exist"))).Acquire(),
             SingleInstance::Result::Unprotected);
}

void TestSingleInstance::secondCopyWaitsForAFirstStillStarting_data()
{
    QTest::addColumn<bool>("leftoverSocket");
    QTest::addColumn<bool>("listens"); // the first copy starts answering while the second waits
    QTest::newRow("answers a little later") << false << true;
    QTest::newRow("answers later, socket left by a crashed copy") << true << true;
    QTest::newRow("never answers: the second copy gives up") << false << false;
}

// The first copy holds the lock but answers only once its window is up; a second copy that
// starts in that gap must neither take the lock nor have its request lost.
void TestSingleInstance::secondCopyWaitsForAFirstStillStarting()
{
    QFETCH(bool, leftoverSocket);
    QFETCH(bool, listens);
    QTemporaryDir folder;
    if (leftoverSocket) {
        QFile leftover(folder.filePath(QStringLiteral("QV Link.socket")));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
    }
    SingleInstance first(folder.path());
    QCOMPARE(first.Acquire(SingleInstance::Answer::Later), SingleInstance::Result::First);
    QWidget shown;
    shown.show();
    first.SetWindow(&shown);
    QSignalSpy asked(&first, &SingleInstance::raiseRequested);

    // The second copy blocks while it waits, so it runs on a thread of its own here.
    std::atomic<int> result{-1}; // written by the second copy's thread, read after join
    QElapsedTimer clock;
    clock.start();
    std::thread secondCopy([&] {
        SingleInstance second(folder.path());
        result.store(static_cast<int>(second.Acquire()), std::memory_order_relaxed); // join orders it
    });
    if (listens) {
        QTest::qWait(150);
        QCOMPARE(result.load(std::memory_order_relaxed), -1); // still waiting for the answer
        first.Listen();
        QTRY_COMPARE(asked.count(), 1);
        QVERIFY(asked.at(0).at(0).toBool());
    }
    secondCopy.join();
    QCOMPARE(result.load(std::memory_order_relaxed), static_cast<int>(SingleInstance::Result::Running));
    QVERIFY2(clock.elapsed() < 5000, "the second copy waited without bound");
    if (!listens) {
        QTest::qWait(50);
        QCOMPARE(asked.count(), 0);
        // Answering afterwards finds no request left over.
        first.Listen();
        QTest::qWait(100);
        QCOMPARE(asked.count(), 0);
    }
}

void TestSingleInstance::secondCopyHandsOverItsToken_data()
{
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QByteArray>("startup");
    QTest::newRow("Wayland token") << QByteArray("b7f1c2e0-9d3a-4a51_wl") << QByteArray();
    QTest::newRow("X11 startup id") << QByteArray() << QByteArray("launcher-1234-host-qvlink-0_TIME81234");
    QTest::newRow("both") << QByteArray("tok") << QByteArray("id_TIME5");
    QTest::newRow("none") << QByteArray() << QByteArray();
    QTest::newRow("longest token") << QByteArray(SingleInstance::MaxTokenBytes, 'x') << QByteArray();
}

// The running copy receives the token the second start was given.
void TestSingleInstance::secondCopyHandsOverItsToken()
{
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, startup);
    QTemporaryDir folder;
    SingleInstance first(folder.path());
    QCOMPARE(first.Acquire(), SingleInstance::Result::First);
    QWidget shown;
    shown.show();
    first.SetWindow(&shown);
    QSignalSpy asked(&first, &SingleInstance::raiseRequested);

    SingleInstance second(folder.path());
    QCOMPARE(second.Acquire(SingleInstance::Answer::Now, ActivationToken{xdg, startup}),
             SingleInstance::Result::Running);
    QTRY_COMPARE(asked.count(), 1);
    QVERIFY(asked.at(0).at(0).toBool());
    const auto got = asked.at(0).at(1).value<ActivationToken>();
    QCOMPARE(got.xdgActivationToken, xdg);
    QCOMPARE(got.startupId, startup);
}

void TestSingleInstance::tokenComesFromTheEnvironment()
{
    qputenv("XDG_ACTIVATION_TOKEN", "from-the-compositor");
    qputenv("DESKTOP_STARTUP_ID", "from-the-launcher_TIME7");
    const ActivationToken token = ActivationToken::FromEnvironment();
    qunsetenv("XDG_ACTIVATION_TOKEN");
    qunsetenv("DESKTOP_STARTUP_ID");
    QCOMPARE(token.xdgActivationToken, QByteArray("from-the-compositor"));
    QCOMPARE(token.startupId, QByteArray("from-the-launcher_TIME7"));
}

void TestSingleInstance::requestsOnTheWire_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QByteArray>("startup");
    QTest::newRow("bare connection (older copies)") << QByteArray() << true << QByteArray() << QByteArray();
    QTest::newRow("token") << QByteArray("XDG_ACTIVATION_TOKEN=abc\n") << true << QByteArray("abc") << QByteArray();
    QTest::newRow("both, either order") << QByteArray("DESKTOP_STARTUP_ID=s_TIME1\nXDG_ACTIVATION_TOKEN=a\n") << true
                                        << QByteArray("a") << QByteArray("s_TIME1");
    QTest::newRow("unknown key") << QByteArray("PATH=/tmp\n") << false << QByteArray() << QByteArray();
    QTest::newRow("key twice") << QByteArray("XDG_ACTIVATION_TOKEN=a\nXDG_ACTIVATION_TOKEN=b\n") << false
                               << QByteArray() << QByteArray();
    QTest::newRow("blank in the token") << QByteArray("XDG_ACTIVATION_TOKEN=a b\n") << false << QByteArray()
                                        << QByteArray();
    QTest::newRow("shell text") << QByteArray("XDG_ACTIVATION_TOKEN=$(touch x)\n") << false << QByteArray()
                                << QByteArray();
    QTest::newRow("control character") << QByteArray("DESKTOP_STARTUP_ID=a\x1b[2J\n") << false << QByteArray()
                                       << QByteArray();
    QTest::newRow("no line end") << QByteArray("XDG_ACTIVATION_TOKEN=abc") << false << QByteArray() << QByteArray();
    QTest::newRow("empty value") << QByteArray("XDG_ACTIVATION_TOKEN=\n") << false << QByteArray() << QByteArray();
    QTest::newRow("token too long") << "XDG_ACTIVATION_TOKEN=" + QByteArray(SingleInstance::MaxTokenBytes + 1, 'x') +
                                           "\n"
                                    << false << QByteArray() << QByteArray();
    QTest::newRow("a megabyte of junk") << QByteArray(1 << 20, 'j') << false << QByteArray() << QByteArray();
}

// What arrives on the socket: a request that breaks the rules still raises the window (a second
// start happened), but none of its text is taken.
void TestSingleInstance::requestsOnTheWire()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, startup);
    bool ok = !accepted;
    const ActivationToken decoded = DecodeActivationRequest(request, &ok);
    QCOMPARE(ok, accepted);
    QCOMPARE(decoded, (ActivationToken{xdg, startup}));
    if (accepted) {
        QCOMPARE(DecodeActivationRequest(EncodeActivationRequest(decoded)), decoded);
    }

    QTemporaryDir folder;
    SingleInstance first(folder.path());
    QCOMPARE(first.Acquire(), SingleInstance::Result::First);
    QWidget shown;
    shown.show();
    first.SetWindow(&shown);
    QSignalSpy asked(&first, &SingleInstance::raiseRequested);
    // The sender blocks while the running copy reads a large request: it writes from a thread.
    std::atomic<bool> sent{false};
    std::thread sender([&] { sent.store(SendRaw(folder.path(), request), std::memory_order_relaxed); });
    QTRY_COMPARE(asked.count(), 1);
    sender.join();
    QVERIFY(sent.load(std::memory_order_relaxed) || request.size() > 4096);
    QCOMPARE(asked.at(0).at(1).value<ActivationToken>(), (ActivationToken{xdg, startup}));
    QVERIFY(qgetenv("XDG_ACTIVATION_TOKEN").isEmpty());
}

void TestSingleInstance::socketIsTheUsersAlone()
{
    QTemporaryDir folder;
    SingleInstance first(folder.path());
    QCOMPARE(first.Acquire(), SingleInstance::Result::First);
    struct stat info
    {
    };
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("QV Link.socket")));
    QCOMPARE(::stat(path.constData(), &info), 0);
    QVERIFY(S_ISSOCK(info.st_mode));
    QCOMPARE(info.st_mode & 0777, 0600u);
    first.Release();
    QVERIFY(!QFile::exists(QString::fromLocal8Bit(path)));
}

void TestSingleInstance::startupIdTime()
{
    QCOMPARE(StartupIdTime("launcher-12-host-qvlink-0_TIME81234"), 81234ul);
    QCOMPARE(StartupIdTime("no-time-here"), 0ul);
    QCOMPARE(StartupIdTime("x_TIMEjunk"), 0ul);
    QCOMPARE(StartupIdTime("x_TIME99999999999"), 0ul);
    QCOMPARE(StartupRemoveMessage("a\"b\\c"), QByteArray("remove: ID=\"a\\\"b\\\\c\""));
}

QTEST_MAIN(TestSingleInstance)
#include "TestSingleInstance.moc"
