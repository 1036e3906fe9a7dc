// The real window, the real libsmbclient lister and GVfs mounter against Samba servers of the
// test LAN. Run by test_shares.sh inside the client's namespace under a D-Bus session of its
// own; the devices come from a scripted worker, their shares from the servers.
#include "CMsgBox.h"
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "CredentialsDialog.h"
#include "FakeDiscovery.h"
#include "ModalWatcher.h"
#include "ShareActions.h"
#include "protocol.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <memory>

namespace {

QString Env(const char* name)
{
    return qEnvironmentVariable(name);
}

QStringList Rows(const CSkinListCtrl& list)
{
    QStringList rows;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        rows << list.GetItemText(row, 0) + QLatin1Char('=') + list.GetItemText(row, 1);
    }
    return rows;
}

// The share names of "name=location" rows.
QStringList Names(const QStringList& rows)
{
    QStringList names;
    for (const QString& row : rows) {
        names << row.left(row.lastIndexOf(QLatin1Char('=')));
    }
    return names;
}

QStringList Names(const CSkinListCtrl& list)
{
    return Names(Rows(list));
}

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The longest pause of the event loop while waiting for done, in ms, and the time it took.
struct Responsiveness
{
    qint64 longestGapMs = 0;
    qint64 elapsedMs = 0;
};

template <typename Done> Responsiveness WatchLoop(Done done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    Responsiveness result;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        result.longestGapMs = std::max(result.longestGapMs, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(10);
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    result.elapsedMs = clock.elapsed();
    return result;
}

} // namespace

class TestShareLan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void listsDiskSharesOnly();
    void cancelGivesAnEmptyList();
    void credentialsGiveTheList();
    void rememberedInANewRun();
    void mapMountsAndRemembers();
    void moveFromGToK();
    void wrongPasswordLosesNothing();
    void serverKilledMidListing();
    void silentAddress();
    void hugeListingIsCapped();
    void hostileNamesAreListed();
    void hostileSharesAreMapped();
    void loneSurrogateEndsTheListing();

private:
    void Click(int row);
    void WaitListed(int limitMs = 10000);
    void SelectShare(const QString& name);
    bool Map(const QString& letter);
    CSkinListCtrl* List(const char* name) { return m_window->findChild<CSkinListCtrl*>(QString::fromLatin1(name)); }
    QComboBox* Letters() { return m_window->findChild<QComboBox*>(QStringLiteral("driveLetterBox")); }
    ShareActions* Actions() { return m_window->findChild<ShareActions*>(QStringLiteral("shareActions")); }
    QString ConnectionsText() { return ReadText(Env("XDG_CONFIG_HOME") + "/qvlink/connections"); }
    QString BookmarksText() { return ReadText(Env("XDG_CONFIG_HOME") + "/gtk-3.0/bookmarks"); }
    void Shot(QWidget& widget, const char* name)
    {
        if (!Env("QVL_SHOTS").isEmpty()) {
            QVERIFY(widget.grab().save(Env("QVL_SHOTS") + "/" + name));
        }
    }

    std::unique_ptr<Cqv_discoveryDlg> m_window;
    std::unique_ptr<ModalWatcher> m_watcher;
    QStringList m_expectedA;
};

void TestShareLan::initTestCase()
{
    for (const char* name : {"QVL_NAS_A", "QVL_NAS_B", "QVL_NAS_C", "QVL_SILENT", "QVL_PUBLIC_DIR", "QVL_PID_C",
                             "QVL_HUGE", "QVL_HOSTILE", "QVL_SURROGATE"}) {
        if (Env(name).isEmpty()) {
            QSKIP("run by test_shares.sh");
        }
    }
    qvd::timing().pollIntervalMs.store(10);
    fake::SetScript({fake::MakerDevice("NAS A", Env("QVL_NAS_A").toStdString() + ":80"),
                     fake::MakerDevice("NAS B", Env("QVL_NAS_B").toStdString() + ":80"),
                     fake::MakerDevice("NAS C", Env("QVL_NAS_C").toStdString() + ":80"),
                     fake::MakerDevice("Silent", Env("QVL_SILENT").toStdString() + ":80"),
                     fake::MakerDevice("Huge", Env("QVL_HUGE").toStdString() + ":80"),
                     fake::MakerDevice("Hostile", Env("QVL_HOSTILE").toStdString() + ":80"),
                     fake::MakerDevice("Surrogate", Env("QVL_SURROGATE").toStdString() + ":80")});
    m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, fake::WorkerEntry);
    m_watcher = std::make_unique<ModalWatcher>();
    m_window->show();
    QTRY_COMPARE(List("deviceListView")->GetItemCount(), 7);
    QTRY_VERIFY(!m_window->IsSearching());
    m_expectedA = QStringList{"public=", "quo'te \"x\"=", "../up=", QString::fromUtf8("café="), "bad="};
}

void TestShareLan::cleanupTestCase()
{
    m_watcher.reset();
    m_window.reset();
}

void TestShareLan::Click(int row)
{
    CSkinListCtrl* list = List("deviceListView");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(row)).center());
}

void TestShareLan::WaitListed(int limitMs)
{
    QTRY_VERIFY_WITH_TIMEOUT(Actions() != nullptr && !Actions()->IsListing(), limitMs);
}

void TestShareLan::SelectShare(const QString& name)
{
    CSkinListCtrl* list = List("shareListView");
    for (int row = 0; row < list->GetItemCount(); ++row) {
        if (list->GetItemText(row, 0) == name) {
            list->SetSelectedRow(row);
            return;
        }
    }
    QFAIL(qPrintable("no share row " + name));
}

bool TestShareLan::Map(const QString& letter)
{
    const int index = Letters()->findText(letter);
    if (index < 0) {
        return false;
    }
    Letters()->setCurrentIndex(index);
    QSignalSpy finished(Actions(), &ShareActions::mapFinished);
    QTest::mouseClick(m_window->findChild<QWidget*>("mapDriveButton"), Qt::LeftButton);
    // A mount through GVfs, including its password questions, ends well within this.
    if (!finished.wait(30000) && finished.isEmpty()) {
        return false;
    }
    return finished.at(0).at(0).toBool();
}

void TestShareLan::listsDiskSharesOnly()
{
    Click(0);
    WaitListed();
    QCOMPARE(Rows(*List("shareListView")), m_expectedA);
    QVERIFY(m_window->findChild<QWidget*>("mapDriveButton")->isEnabled());
    QVERIFY(m_watcher->seen.isEmpty());
}

void TestShareLan::cancelGivesAnEmptyList()
{
    m_watcher->onSeen = [](QDialog& dialog) {
        QCOMPARE(dialog.objectName(), QStringLiteral("credentialsDialog"));
        dialog.reject();
    };
    Click(1);
    WaitListed();
    QCOMPARE(m_watcher->seen, QStringList{"CredentialsDialog"});
    QCOMPARE(List("shareListView")->GetItemCount(), 0);
    QVERIFY(!m_window->findChild<QWidget*>("mapDriveButton")->isEnabled());
}

void TestShareLan::credentialsGiveTheList()
{
    m_watcher->seen.clear();
    QList<bool> errors;
    QStringList users;
    QList<bool> ticked;
    m_watcher->onSeen = [&](QDialog& dialog) {
        auto* box = dialog.findChild<QCheckBox*>("rememberPasswordBox");
        errors << !dialog.findChild<QLabel*>("errorLabel")->isHidden();
        users << dialog.findChild<QLineEdit*>("userEdit")->text();
        ticked << box->isChecked();
        QVERIFY(box->isEnabled()); // the test's keyring answers on the session bus
        QCOMPARE(dialog.findChild<QLineEdit*>("domainEdit")->text(), QStringLiteral("WORKGROUP"));
        if (errors.size() == 1) {
            // A wrong password first, "Remember password" ticked.
            dialog.findChild<QLineEdit*>("userEdit")->setText(Env("QVL_USER"));
            dialog.findChild<QLineEdit*>("passwordEdit")->setText(QStringLiteral("wrong"));
            box->setChecked(true);
            Shot(dialog, "credentials-dialog.png");
            return;
        }
        dialog.findChild<QLineEdit*>("passwordEdit")->setText(Env("QVL_PASSWORD"));
        Shot(dialog, "credentials-dialog-error.png");
    };
    Click(1);
    WaitListed();
    QCOMPARE(m_watcher->seen, (QStringList{"CredentialsDialog", "CredentialsDialog"}));
    QCOMPARE(errors, (QList<bool>{false, true}));
    QCOMPARE(users, (QStringList{QString(), Env("QVL_USER")}));
    QCOMPARE(ticked, (QList<bool>{false, true}));
    QCOMPARE(Rows(*List("shareListView")), (QStringList{"private=", "secret=H:"}));
    // In the session's keyring, as any other client of it sees the item; the wrong one never was.
    QProcess lookup;
    lookup.start(QStringLiteral("secret-tool"), {"lookup", "xdg:schema", "org.gnome.keyring.NetworkPassword", "server",
                                                 Env("QVL_NAS_B"), "protocol", "smb", "user", Env("QVL_USER")});
    QVERIFY(lookup.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(lookup.readAllStandardOutput()), Env("QVL_PASSWORD"));
}

void TestShareLan::rememberedInANewRun()
{
    if (Env("QVL_SECOND_RUN").isEmpty()) {
        QSKIP("the second run of test_shares.sh");
    }
    m_watcher->seen.clear();
    Click(1);
    WaitListed();
    QCOMPARE(m_watcher->seen, QStringList());
    QCOMPARE(Rows(*List("shareListView")), (QStringList{"private=", "secret=H:"}));
}

void TestShareLan::mapMountsAndRemembers()
{
    m_watcher->seen.clear();
    QString boxText;
    m_watcher->onSeen = [&](QDialog& dialog) {
        if (auto* box = qobject_cast<CMsgBox*>(&dialog)) {
            boxText = box->text;
        }
    };
    Click(0);
    WaitListed();
    SelectShare("public");
    QVERIFY(Map("G:"));
    QCOMPARE(boxText, QStringLiteral("Successfully mapped drive to G:"));
    QCOMPARE(Rows(*List("shareListView")).first(), QStringLiteral("public=G:"));
    QVERIFY(Letters()->findText("G:") < 0);
    QVERIFY(ConnectionsText().contains("G: \\\\" + Env("QVL_NAS_A") + "\\public\n"));
    const QString bookmark = "smb://" + Env("QVL_NAS_A") + "/public G: public on " + Env("QVL_NAS_A") + "\n";
    QCOMPARE(BookmarksText(), "file:///tmp Temporary files\n" + bookmark);
    // The mount is real: a file written through GVfs's FUSE view lands in the server's folder.
    const QString fuse =
        Env("XDG_RUNTIME_DIR") + "/gvfs/smb-share:server=" + Env("QVL_NAS_A") + ",share=public/written.txt";
    QFile file(fuse);
    QDeadlineTimer deadline(10000);
    while (!file.open(QIODevice::WriteOnly) && !deadline.hasExpired()) {
        QTest::qWait(100);
    }
    QVERIFY2(file.isOpen(), qPrintable(fuse));
    QCOMPARE(file.write("through the mount\n"), qint64(18));
    file.close();
    QCOMPARE(ReadText(Env("QVL_PUBLIC_DIR") + "/written.txt"), QStringLiteral("through the mount\n"));
}

void TestShareLan::moveFromGToK()
{
    m_watcher->onSeen = nullptr;
    SelectShare("public");
    QVERIFY(Map("K:"));
    QCOMPARE(Rows(*List("shareListView")).first(), QStringLiteral("public=K:"));
    QVERIFY(Letters()->findText("G:") >= 0);
    QVERIFY(Letters()->findText("K:") < 0);
    const QString text = ConnectionsText();
    QVERIFY2(text.contains("K: \\\\" + Env("QVL_NAS_A") + "\\public\n") && !text.contains("G: "), qPrintable(text));
    const QString bookmarks = BookmarksText();
    QVERIFY(bookmarks.contains("/public K: public on ") && !bookmarks.contains("/public G: "));
    QVERIFY(bookmarks.startsWith("file:///tmp Temporary files\n"));
    Shot(*m_window, "share-list-mapped.png");
}

void TestShareLan::wrongPasswordLosesNothing()
{
    Click(1);
    WaitListed();
    QCOMPARE(Rows(*List("shareListView")), (QStringList{"private=", "secret=H:"}));
    const QString connections = ConnectionsText();
    const QString bookmarks = BookmarksText();
    m_watcher->seen.clear();
    QList<bool> errors;
    m_watcher->onSeen = [&errors](QDialog& dialog) {
        if (auto* user = dialog.findChild<QLineEdit*>("userEdit")) {
            errors << !dialog.findChild<QLabel*>("errorLabel")->isHidden();
            user->setText(QStringLiteral("nobody"));
            dialog.findChild<QLineEdit*>("passwordEdit")->setText(QStringLiteral("wrong"));
        }
    };
    SelectShare("secret");
    QVERIFY(!Map("J:"));
    // GVfs asks again after each refusal: the dialog comes back saying so, three times at most.
    QCOMPARE(m_watcher->seen, (QStringList{"CredentialsDialog", "CredentialsDialog", "CredentialsDialog", "CMsgBox"}));
    QCOMPARE(errors, (QList<bool>{false, true, true}));
    QCOMPARE(ConnectionsText(), connections);
    QCOMPARE(BookmarksText(), bookmarks);
    QCOMPARE(Rows(*List("shareListView")), (QStringList{"private=", "secret=H:"}));
    QVERIFY(Letters()->findText("J:") >= 0);
    m_watcher->onSeen = nullptr;
}

void TestShareLan::serverKilledMidListing()
{
    m_watcher->onSeen = nullptr;
    const pid_t pid = Env("QVL_PID_C").toInt();
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    Click(2);
    // The listing hangs on the stopped server while the window goes on.
    const Responsiveness hung = WatchLoop([] { return false; }, 500);
    QVERIFY(Actions()->IsListing());
    QVERIFY2(hung.longestGapMs < 200, qPrintable(QString::number(hung.longestGapMs)));
    QCOMPARE(::kill(pid, SIGKILL), 0);
    const Responsiveness ended = WatchLoop([this] { return !Actions()->IsListing(); }, 8000);
    QVERIFY2(ended.elapsedMs < 6500, qPrintable(QString::number(ended.elapsedMs)));
    QVERIFY(ended.longestGapMs < 200);
    QCOMPARE(List("shareListView")->GetItemCount(), 0);
    Click(0);
    WaitListed();
    QCOMPARE(Names(*List("shareListView")), Names(m_expectedA));
}

void TestShareLan::silentAddress()
{
    Click(3);
    const Responsiveness alone = WatchLoop([this] { return !Actions()->IsListing(); }, 10000);
    qInfo("silent address gave up after %lld ms (longest event-loop gap %lld ms)", alone.elapsedMs, alone.longestGapMs);
    QVERIFY2(alone.elapsedMs < 6500, qPrintable(QString::number(alone.elapsedMs)));
    QVERIFY(alone.longestGapMs < 200);
    QCOMPARE(List("shareListView")->GetItemCount(), 0);
    // A click on another device while the silent one is out wins, and the silent answer is dropped.
    Click(3);
    QTest::qWait(200);
    Click(0);
    const Responsiveness both = WatchLoop([this] { return !Actions()->IsListing(); }, 15000);
    QVERIFY(both.elapsedMs < 8000);
    QVERIFY(both.longestGapMs < 200);
    QCOMPARE(Names(*List("shareListView")), Names(m_expectedA));
}

namespace {

// The resident memory of this process, in KiB (0 when it cannot be read).
long ResidentKiB()
{
    const QString status = ReadText(QStringLiteral("/proc/self/status"));
    const qsizetype at = status.indexOf(QStringLiteral("VmRSS:"));
    return at < 0 ? 0
                  : status.mid(at + 6, status.indexOf(QLatin1Char('\n'), at) - at - 6).remove("kB").trimmed().toLong();
}

} // namespace

void TestShareLan::hugeListingIsCapped()
{
    const long before = ResidentKiB();
    Click(4);
    const Responsiveness huge = WatchLoop([this] { return !Actions()->IsListing(); }, 20000);
    qInfo("20,000 shares listed in %lld ms, longest event-loop gap %lld ms, resident memory %ld -> %ld KiB",
          huge.elapsedMs, huge.longestGapMs, before, ResidentKiB());
    QVERIFY(!Actions()->IsListing());
    QVERIFY2(huge.longestGapMs <= 100, qPrintable(QString::number(huge.longestGapMs)));
    // The first 1,000 listed shares in listing order; the hidden share and the printer among
    // them are not rows.
    QStringList expected;
    for (int i = 1; i <= 1000; ++i) {
        expected << QStringLiteral("share%1=").arg(i, 5, 10, QLatin1Char('0'));
    }
    QCOMPARE(Rows(*List("shareListView")), expected);
    QVERIFY(m_window->findChild<QWidget*>("mapDriveButton")->isEnabled());
}

void TestShareLan::hostileNamesAreListed()
{
    Click(5);
    WaitListed();
    // A name is cut at 127 bytes; every other byte arrives as the server sent it.
    const QStringList expected{
        "plain", "new\nline", "-leading", "quo'te", "dq\"uote", "../up", QString(127, QLatin1Char('L')), "remarked"};
    QCOMPARE(Names(*List("shareListView")), expected);
}

void TestShareLan::hostileSharesAreMapped()
{
    m_watcher->onSeen = nullptr;
    // Each ends in the connection file and the bookmarks as one line of its own.
    const QList<QPair<QString, QString>> maps{{"new\nline", "M:"}, {"-leading", "N:"}, {"dq\"uote", "P:"}};
    for (const auto& [share, letter] : maps) {
        SelectShare(share);
        QVERIFY2(Map(letter), qPrintable(share));
        SelectShare(share);
        QCOMPARE(List("shareListView")->GetItemText(List("shareListView")->GetSelectedRow(), 1), letter);
    }
    // GVfs takes smb://host/..%2Fup for the server itself, which it cannot mount: the error box,
    // and nothing is remembered.
    const QString connections = ConnectionsText();
    const QString bookmarks = BookmarksText();
    SelectShare("../up");
    QVERIFY(!Map("Q:"));
    QCOMPARE(ConnectionsText(), connections);
    QCOMPARE(BookmarksText(), bookmarks);
}

void TestShareLan::loneSurrogateEndsTheListing()
{
    // The SMB library cannot convert the name and fails the whole listing: an empty list.
    Click(6);
    WaitListed();
    QCOMPARE(List("shareListView")->GetItemCount(), 0);
    QVERIFY(!m_window->findChild<QWidget*>("mapDriveButton")->isEnabled());
    Click(5);
    WaitListed();
    QCOMPARE(List("shareListView")->GetItemCount(), 8);
}

QTEST_MAIN(TestShareLan)
#include "TestShareLan.moc"
