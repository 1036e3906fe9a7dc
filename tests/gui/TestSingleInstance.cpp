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
    void secondCopyRaisesTheFirstsWindow();
    void secondCopyDuringStartUpEndsSilently();
    void lockIsFreeAgainAfterRelease();
    void leftoverSocketFromACrashedCopy();
    void noLockPossibleRunsUnprotected();
};

void TestSingleInstance::secondCopyRaisesTheFirstsWindow()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    SingleInstance first(folder.path());
    QCOMPARE(first.Acquire(), SingleInstance::Result::First);
    QVERIFY(QFile::exists(folder.filePath(QStringLiteral("QV Link"))));
    QWidget window;
    window.setWindowTitle(QStringLiteral("QV Link"));
    window.show();
    first.SetWindow(&window);
    QSignalSpy asked(&first, &SingleInstance::raiseRequested);

    SingleInstance second(folder.path());
    QCOMPARE(second.Acquire(), SingleInstance::Result::Running);
    QTRY_COMPARE(asked.count(), 1);
    QCOMPARE(asked.at(0).at(0).toBool(), true);

    // A minimised window is not restored by a second start.
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());
    SingleInstance third(folder.path());
    QCOMPARE(third.Acquire(), SingleInstance::Result::Running);
    QTRY_COMPARE(asked.count(), 2);
    QCOMPARE(asked.at(1).at(0).toBool(), false);
    QVERIFY(window.isMinimized());
}

void TestSingleInstance::secondCopyDuringStartUpEndsSilently()
{
    QTemporaryDir folder;
    SingleInstance first(folder.path());
    QCOMPARE(first.Acquire(), SingleInstance::Result::First);
    QSignalSpy asked(&first, &SingleInstance::raiseRequested);
    SingleInstance second(folder.path());
    QCOMPARE(second.Acquire(), SingleInstance::Result::Running);
    QTRY_COMPARE(asked.count(), 1);
    QCOMPARE(asked.at(0).at(0).toBool(), false); // no window to raise yet
    // A window that exists but is not shown yet is not raised either.
    QWidget hidden;
    first.SetWindow(&hidden);
    SingleInstance third(folder.path());
    QCOMPARE(third.Acquire(), SingleInstance::Result::Running);
    QTRY_COMPARE(asked.count(), 2);
    QCOMPARE(asked.at(1).at(0).toBool(), false);
    QVERIFY(!hidden.isVisible());
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
    }
    SingleInstance third(folder.path());
    QCOMPARE(third.Acquire(), SingleInstance::Result::First);
}

void TestSingleInstance::leftoverSocketFromACrashedCopy()
{
    QTemporaryDir folder;
    QFile leftover(folder.filePath(QStringLiteral("QV Link.socket")));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    SingleInstance first(folder.path());
    QCOMPARE(first.Acquire(), SingleInstance::Result::First);
    QSignalSpy asked(&first, &SingleInstance::raiseRequested);
    SingleInstance second(folder.path());
    QCOMPARE(second.Acquire(), SingleInstance::Result::Running);
    QTRY_COMPARE(asked.count(), 1);
}

void TestSingleInstance::noLockPossibleRunsUnprotected()
{
    QTemporaryDir folder;
    SingleInstance instance(folder.filePath(QStringLiteral("does/not/exist")));
    QCOMPARE(instance.Acquire(), SingleInstance::Result::Unprotected);
}

QTEST_MAIN(TestSingleInstance)
#include "TestSingleInstance.moc"
