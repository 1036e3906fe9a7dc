// One copy per user: the lock, the raise request to the running copy, and what happens when
// the running copy has no window yet or the lock cannot be made.

#include "SingleInstance.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyAsksTheFirst_data();
    void secondCopyAsksTheFirst();
    void lockIsFreeAgainAfterRelease();
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

QTEST_MAIN(TestSingleInstance)
#include "TestSingleInstance.moc"
