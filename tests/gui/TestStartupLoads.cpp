// What the start loads: the main window with the real platform services reaches its first frame
// without GIO, GObject or libsecret in the process (so without GIO's modules either); the first
// use of them opens them.

// GIO's headers use the word "signals": before any Qt header.
#include "GioLibrary.h"
// clang-format off
#include "Cqv_discoveryDlg.h"
#include "FakeDiscovery.h"
// clang-format on

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The libraries mapped into this process whose file names contain one of the words.
QStringList MappedLibraries(const QStringList& words)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    QStringList found;
    if (!maps.open(QIODevice::ReadOnly)) {
        return {QStringLiteral("/proc/self/maps unreadable")};
    }
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QString path = QString::fromLocal8Bit(line.mid(line.indexOf('/')));
        for (const QString& word : words) {
            if (line.contains('/') && path.contains(word) && !found.contains(path)) {
                found << path;
            }
        }
    }
    return found;
}

const QStringList GioWords{QStringLiteral("libgio-2.0"), QStringLiteral("libgobject-2.0"),
                           QStringLiteral("libsecret-1"), QStringLiteral("/gio/modules/")};

} // namespace

class TestStartupLoads : public QObject
{
    Q_OBJECT

private slots:
    void firstFrameWithoutGio();
};

void TestStartupLoads::firstFrameWithoutGio()
{
    QTemporaryDir home;
    // The real services read the user's remembered letters: a user with none.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    // One device, so that the search ends without the no-device box.
    fake::SetScript({fake::MakerDevice("Alpha", "192.0.2.20")}, 0, false);
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    QSignalSpy firstFrame(&window, &Cqv_discoveryDlg::firstFrameShown);
    window.show();
    QVERIFY(firstFrame.wait(10000));
    QTRY_VERIFY_WITH_TIMEOUT(!window.IsSearching(), 10000);
    QCOMPARE(MappedLibraries(GioWords), QStringList());
    QVERIFY(!qvp::gioLoaded());

    // The first use opens them, and the look at the maps sees it.
    QVERIFY(g_io_error_quark() != 0);
    QVERIFY(qvp::gioLoaded());
    const QStringList loaded = MappedLibraries(GioWords);
    QVERIFY2(loaded.filter(QStringLiteral("libgio-2.0")).size() == 1, qPrintable(loaded.join(u' ')));
    QVERIFY2(loaded.filter(QStringLiteral("libsecret-1")).size() == 1, qPrintable(loaded.join(u' ')));
}

QTEST_MAIN(TestStartupLoads)
#include "TestStartupLoads.moc"
