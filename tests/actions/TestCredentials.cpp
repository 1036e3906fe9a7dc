// The credentials path of the share list in the real main window, on fakes of the platform:
// the dialog comes back after a refused password with the error and the user name, three
// answers at most, Cancel ends quietly, a refused password is never kept, "Remember password"
// puts only a password that worked into the keyring, and a remembered one is used unasked.
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "CredentialsDialog.h"
#include "FakeDiscovery.h"
#include "FakeShares.h"
#include "ModalWatcher.h"
#include "NamedText.h"
#include "ShareActions.h"
#include "ShareWindowFixture.h"
#include "protocol.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace {

const std::string NasA = "10.77.0.2";
const qvp::SmbCredentials Alice{"alice", "WORKGROUP", "secret"};

QStringList Rows(const CSkinListCtrl& list)
{
    QStringList rows;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        rows << list.GetItemText(row, 0);
    }
    return rows;
}

bool Same(const std::optional<qvp::SmbCredentials>& a, const qvp::SmbCredentials& b)
{
    return a && a->user == b.user && a->domain == b.domain && a->password == b.password;
}

// What a dialog showed when it came up.
struct Seen
{
    QString fields; // "user:domain:password"
    bool error = false;
    bool boxEnabled = false;
    bool boxTicked = false;
    int keyringStores = 0;
};

} // namespace

class TestCredentials : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qvd::timing().pollIntervalMs.store(10); }
    void init();
    void cleanup();

    void dialogControls();
    void dialogInTheUsersLanguage();
    void answers_data();
    void answers();
    void rememberedOnlyAfterSuccess();
    void keyringAnswersUnasked();
    void withdrawnBeforeShownNeverShows();
    void withdrawnWhileOpenCloses();
    void ownedByTheWindowWhenNoneIsActive();

private:
    void OpenWindow();
    void ClickNasA();
    // Answers each dialog from answers ("user:domain:password[:remember]", "=" keeps a field,
    // or "cancel") and records what it showed.
    void AnswerWith(const QStringList& answers);
    CSkinListCtrl* List(const char* name) { return m_window->findChild<CSkinListCtrl*>(QString::fromLatin1(name)); }
    ShareActions* Actions() { return m_window->findChild<ShareActions*>(QStringLiteral("shareActions")); }

    std::unique_ptr<fake::FakeShareServices> m_fakes;
    std::unique_ptr<Cqv_discoveryDlg> m_window;
    std::unique_ptr<ModalWatcher> m_watcher;
    QList<Seen> m_seen;
    std::function<void()> m_beforeLastAccept;
};

void TestCredentials::init()
{
    m_fakes = std::make_unique<fake::FakeShareServices>();
    m_fakes->driveTypes.types = {{"C:", qvp::DriveFixed}};
    m_fakes->lister.Script(NasA, {{qvp::ShareListAccessDenied, {}}, Alice, {qvp::ShareListOk, {{"private", 0, ""}}}});
    m_seen.clear();
    m_beforeLastAccept = nullptr;
}

void TestCredentials::cleanup()
{
    fake::CloseShareWindow(m_window, m_watcher, m_fakes);
}

void TestCredentials::OpenWindow()
{
    fake::SetScript({fake::MakerDevice("Nas A", NasA + ":80")});
    m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, fake::WorkerEntry);
    m_watcher = std::make_unique<ModalWatcher>();
    m_window->show();
    QTRY_COMPARE(List("deviceListView")->GetItemCount(), 1);
    QTRY_VERIFY(!m_window->IsSearching());
}

void TestCredentials::ClickNasA()
{
    CSkinListCtrl* list = List("deviceListView");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    QTRY_VERIFY(!Actions()->IsListing());
}

void TestCredentials::AnswerWith(const QStringList& answers)
{
    m_watcher->onSeen = [this, answers](QDialog& dialog) {
        QCOMPARE(dialog.objectName(), QStringLiteral("credentialsDialog"));
        auto* user = dialog.findChild<QLineEdit*>("userEdit");
        auto* domain = dialog.findChild<QLineEdit*>("domainEdit");
        auto* password = dialog.findChild<QLineEdit*>("passwordEdit");
        auto* box = dialog.findChild<QCheckBox*>("rememberPasswordBox");
        auto* error = dialog.findChild<QLabel*>("errorLabel");
        QVERIFY(user && domain && password && box && error);
        m_seen.append({user->text() + ":" + domain->text() + ":" + password->text(), !error->isHidden(),
                       box->isEnabled(), box->isChecked(), m_fakes->keyring.stores});
        const QString answer = answers.value(m_seen.size() - 1, QStringLiteral("cancel"));
        if (answer == QStringLiteral("cancel")) {
            dialog.reject();
            return;
        }
        const QStringList parts = answer.split(QLatin1Char(':'));
        QLineEdit* fields[] = {user, domain, password};
        for (int i = 0; i < 3; ++i) {
            if (parts[i] != QStringLiteral("=")) {
                fields[i]->setText(parts[i]);
            }
        }
        box->setChecked(parts.value(3) == QStringLiteral("remember"));
        if (m_seen.size() == answers.size() && m_beforeLastAccept) {
            m_beforeLastAccept();
        }
        dialog.accept();
    };
}

void TestCredentials::dialogControls()
{
    CredentialsDialog first(QStringLiteral("10.77.0.2<b>"), {}, {true, false, false});
    QCOMPARE(first.windowTitle(), QStringLiteral("Connect to Server"));
    QCOMPARE(first.findChild<QLabel*>("promptLabel")->text(),
             QStringLiteral("Enter a user name and password to connect to 10.77.0.2<b>."));
    auto* box = first.findChild<QCheckBox*>("rememberPasswordBox");
    QVERIFY(box != nullptr);
    QCOMPARE(box->text(), QStringLiteral("Remember password"));
    QCOMPARE(box->accessibleName(), QStringLiteral("Remember password"));
    QVERIFY(box->isEnabled());
    QVERIFY(!box->isChecked()); // off unless the user ticks it
    QVERIFY(first.findChild<QLabel*>("errorLabel")->isHidden());

    CredentialsDialog again(QStringLiteral("nas"), {"alice", "OFFICE", ""}, {true, true, true});
    QCOMPARE(again.findChild<QLabel*>("errorLabel")->text(),
             QStringLiteral("The user name or password is not correct."));
    QVERIFY(!again.findChild<QLabel*>("errorLabel")->isHidden());
    QCOMPARE(again.findChild<QLineEdit*>("userEdit")->text(), QStringLiteral("alice"));
    QCOMPARE(again.findChild<QLineEdit*>("domainEdit")->text(), QStringLiteral("OFFICE"));
    QVERIFY(again.findChild<QCheckBox*>("rememberPasswordBox")->isChecked());

    // No keyring: the box is there, off and disabled, and a tick set anyway counts for nothing.
    CredentialsDialog none(QStringLiteral("nas"), {}, {false, true, false});
    auto* off = none.findChild<QCheckBox*>("rememberPasswordBox");
    QVERIFY(!off->isEnabled());
    QVERIFY(!off->isChecked());
    off->setChecked(true);
    QVERIFY(!none.Remember());
}

void TestCredentials::dialogInTheUsersLanguage()
{
    qvres::SetInterfaceLanguage(0x0407); // German (Germany): the table of primary German
    CredentialsDialog dialog(QStringLiteral("nas"), {"alice", "", ""}, {true, false, true});
    qvres::SetInterfaceLanguage(0);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Verbindung mit Server herstellen"));
    QCOMPARE(dialog.findChild<QCheckBox*>("rememberPasswordBox")->text(), QStringLiteral("Kennwort speichern"));
    QCOMPARE(dialog.findChild<QLabel*>("errorLabel")->text(),
             QStringLiteral("Der Benutzername oder das Kennwort ist falsch."));
    auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
    QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));
    QStringList labels;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        labels << label->text();
    }
    QVERIFY2(labels.contains(QStringLiteral("&Benutzername:")), qPrintable(labels.join(QLatin1Char('|'))));
    // QVL_SHOTS=folder keeps a picture of the German dialog for the documentation.
    if (const QString shots = qEnvironmentVariable("QVL_SHOTS"); !shots.isEmpty()) {
        dialog.findChild<QCheckBox*>("rememberPasswordBox")->setChecked(true);
        QVERIFY(dialog.grab().save(shots + "/credentials-dialog-de.png"));
    }
}

void TestCredentials::answers_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("keyring");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QStringList>("shown"); // fields each dialog came up with, "!" when with the error
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("kept");      // Alice kept for the run
    QTest::addColumn<bool>("inKeyring"); // Alice stored in the keyring

    const QString first = ":WORKGROUP:";
    const QString again = "!alice:WORKGROUP:";
    QTest::newRow("accepted") << QStringList{"alice:WORKGROUP:secret"} << true << true << QStringList{first} << 2
                              << true << false;
    QTest::newRow("cancelled") << QStringList{"cancel"} << true << false << QStringList{first} << 1 << false << false;
    QTest::newRow("wrong, then right with the user kept") << QStringList{"alice:WORKGROUP:wrong", "=:=:secret"} << true
                                                          << true << QStringList{first, again} << 3 << true << false;
    QTest::newRow("wrong, then cancel: quiet") << QStringList{"alice:WORKGROUP:wrong", "cancel"} << true << false
                                               << QStringList{first, again} << 2 << false << false;
    QTest::newRow("three wrong: no fourth dialog")
        << QStringList{"alice:WORKGROUP:w1", "=:=:w2", "=:=:w3", "=:=:secret"} << true << false
        << QStringList{first, again, again} << 4 << false << false;
    QTest::newRow("remember ticked") << QStringList{"alice:WORKGROUP:secret:remember"} << true << true
                                     << QStringList{first} << 2 << true << true;
    QTest::newRow("remember ticked, wrong then right")
        << QStringList{"alice:WORKGROUP:wrong:remember", "=:=:secret:remember"} << true << true
        << QStringList{first, again + "+"} << 3 << true << true;
    QTest::newRow("remember ticked, refused three times")
        << QStringList{"alice:WORKGROUP:w1:remember", "=:=:w2:remember", "=:=:w3:remember"} << true << false
        << QStringList{first, again + "+", again + "+"} << 4 << false << false;
    QTest::newRow("no keyring: the box is off") << QStringList{"alice:WORKGROUP:secret:remember"} << false << true
                                                << QStringList{"-" + first} << 2 << true << false;
}

void TestCredentials::answers()
{
    QFETCH(QStringList, answers);
    QFETCH(bool, keyring);
    QFETCH(bool, listed);
    QFETCH(QStringList, shown);
    QFETCH(int, requests);
    QFETCH(bool, kept);
    QFETCH(bool, inKeyring);
    m_fakes->keyring.available = keyring;
    OpenWindow();
    AnswerWith(answers);
    ClickNasA();
    QStringList seen;
    for (const Seen& dialog : m_seen) {
        // "-": the box disabled; "+": it came up ticked; "!": with the error line.
        seen << QString(dialog.boxEnabled ? "" : "-") + (dialog.error ? "!" : "") + dialog.fields +
                    (dialog.boxTicked ? "+" : "");
        QCOMPARE(dialog.keyringStores, 0); // nothing stored while a password is still refused
    }
    QCOMPARE(seen, shown);
    QCOMPARE(Rows(*List("shareListView")), listed ? QStringList{"private"} : QStringList());
    QCOMPARE(int(m_fakes->lister.requests.size()), requests);
    QCOMPARE(m_watcher->seen.count(QStringLiteral("CMsgBox")), 0); // never a box
    QCOMPARE(Same(m_fakes->credentials.Stored(NasA), Alice), kept);
    QCOMPARE(m_fakes->credentials.Stored(NasA).has_value(), kept); // a refused one is not kept
    QCOMPARE(Same(m_fakes->keyring.Lookup(NasA), Alice), inKeyring);
    QCOMPARE(m_fakes->keyring.stores, inKeyring ? 1 : 0);
    if (!kept) {
        return;
    }
    // Kept for the run: the next click signs in at once.
    ClickNasA();
    QCOMPARE(m_seen.size(), shown.size());
    QCOMPARE(m_fakes->lister.requests.back(), std::make_pair(NasA, std::string("alice")));
    QCOMPARE(Rows(*List("shareListView")), QStringList{"private"});
}

void TestCredentials::rememberedOnlyAfterSuccess()
{
    OpenWindow();
    // The answer's listing is held: accepted in the dialog is not yet taken by the server.
    m_beforeLastAccept = [this] { m_fakes->lister.Hold(); };
    AnswerWith({"alice:WORKGROUP:secret:remember"});
    CSkinListCtrl* list = List("deviceListView");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    QTRY_COMPARE(m_seen.size(), 1);
    QTRY_COMPARE(m_fakes->lister.requests.size(), 2U);
    QTest::qWait(50);
    QVERIFY(Actions()->IsListing());
    QCOMPARE(m_fakes->keyring.stores, 0);
    QVERIFY(!m_fakes->credentials.Stored(NasA));
    m_fakes->lister.ReleaseAll();
    QTRY_VERIFY(!Actions()->IsListing());
    QCOMPARE(m_fakes->keyring.stores, 1);
    QVERIFY(Same(m_fakes->keyring.kept[NasA], Alice));
}

void TestCredentials::keyringAnswersUnasked()
{
    // A password remembered in an earlier run: no dialog, and the keyring is asked once.
    m_fakes->keyring.kept[NasA] = Alice;
    OpenWindow();
    AnswerWith({});
    ClickNasA();
    QCOMPARE(Rows(*List("shareListView")), QStringList{"private"});
    QVERIFY(m_seen.isEmpty());
    QCOMPARE(m_fakes->lister.requests.front(), std::make_pair(NasA, std::string("alice")));
    ClickNasA();
    QCOMPARE(m_fakes->keyring.lookups, std::vector<std::string>{NasA});
    // The server no longer takes it: the dialog comes with the user name, and the new password
    // replaces the old one only once it has worked.
    m_fakes->keyring.kept[NasA].password = "old";
    fake::FakeShareServices& fakes = *m_fakes;
    fakes.credentials = qva::SessionCredentials(&fakes.keyring); // a new run
    AnswerWith({"=:=:secret:remember"});
    ClickNasA();
    QCOMPARE(m_seen.size(), 1);
    QCOMPARE(m_seen[0].fields, QStringLiteral("alice:WORKGROUP:"));
    QCOMPARE(Rows(*List("shareListView")), QStringList{"private"});
    QVERIFY(Same(m_fakes->keyring.kept[NasA], Alice));
}

void TestCredentials::withdrawnBeforeShownNeverShows()
{
    // The mount ended between its question and the event loop's turn to show it.
    m_watcher = std::make_unique<ModalWatcher>();
    bool answered = false;
    const qvp::CredentialsSource::Question question =
        m_fakes->credentials.Ask(NasA, false, [&answered](std::optional<qvp::SmbCredentials>) { answered = true; });
    m_fakes->credentials.Withdraw(question);
    QTest::qWait(100);
    QCOMPARE(m_watcher->seen, QStringList());
    QVERIFY(!answered);
}

void TestCredentials::withdrawnWhileOpenCloses()
{
    // The user has typed a password when the mount ends: the dialog goes, declined, and what was
    // typed is neither answered nor waiting to be kept.
    m_watcher = std::make_unique<ModalWatcher>();
    qvp::CredentialsSource::Question question = 0;
    QPointer<QDialog> open;
    m_watcher->onSeen = [this, &question, &open](QDialog& dialog) {
        open = &dialog;
        dialog.findChild<QLineEdit*>("userEdit")->setText(QStringLiteral("alice"));
        dialog.findChild<QLineEdit*>("passwordEdit")->setText(QStringLiteral("secret"));
        m_fakes->credentials.Withdraw(question);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    };
    bool answered = false;
    question =
        m_fakes->credentials.Ask(NasA, false, [&answered](std::optional<qvp::SmbCredentials>) { answered = true; });
    QTRY_COMPARE(m_watcher->seen, QStringList{"CredentialsDialog"});
    QTRY_VERIFY(open == nullptr);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(!answered);
    m_fakes->credentials.Accepted(NasA, Alice);
    QVERIFY(!m_fakes->credentials.Stored(NasA));
    // Withdrawing it again, or an answered one, changes nothing.
    m_fakes->credentials.Withdraw(question);
    QCOMPARE(m_watcher->seen.size(), 1);
}

void TestCredentials::ownedByTheWindowWhenNoneIsActive()
{
    OpenWindow();
    // Another window of the program was active and went away: nothing is active now, as on a
    // Wayland desktop where the user looks at another program.
    {
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
    }
    QTRY_COMPARE(QApplication::activeWindow(), nullptr);
    bool seen = false;
    QWidget* owner = nullptr;
    m_watcher->onSeen = [&seen, &owner](QDialog& dialog) {
        seen = true;
        owner = dialog.parentWidget();
        dialog.reject();
    };
    ClickNasA();
    QTRY_VERIFY(seen);
    QCOMPARE(owner, m_window.get());
}

QTEST_MAIN(TestCredentials)
#include "TestCredentials.moc"
