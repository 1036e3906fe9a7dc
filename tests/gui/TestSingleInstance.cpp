// One copy per user: the lock, the raise request to the running copy, and what happens when
// the running copy has no window yet or the lock cannot be made.

#include "SingleInstance.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyAsksTheFirst_data();
    void secondCopyAsksTheFirst();
    void lockIsFreeAgainAfterRelease();
    void secondCopyWaitsForAFirstStillStarting_data();
    void secondCopyWaitsForAFirstStillStarting();
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

QTEST_MAIN(TestSingleInstance)
#include "TestSingleInstance.moc"
