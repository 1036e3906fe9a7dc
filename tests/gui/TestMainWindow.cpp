// The main window: its controls as laid out, its initialisation, the enable states over a
// search (with a scripted discovery worker and a short poll interval), the window menu,
// dragging, the dialog keys and the title-bar buttons.

#include "CMsgBox.h"
#include "CPictureEx.h"
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "CxSkinButton.h"
#include "FakeDiscovery.h"
#include "Language.h"
#include "ModalWatcher.h"
#include "protocol.h"
#include "showabout.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QtTest>
#include <memory>

namespace {

constexpr int PollMs = 10;

template <typename T> T* control(const QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

QWidget* widget(const QWidget& window, const char* name)
{
    return control<QWidget>(window, name);
}

// The enable state of the window's search-related controls, as one comparable text.
QString states(const QWidget& w)
{
    auto flag = [&](const char* name) {
        return widget(w, name)->isEnabled() ? QStringLiteral("1") : QStringLiteral("0");
    };
    return QStringLiteral("list=%1 cfg=%2 refresh=%3 map=%4 browse=%5 shortcut=%6 anim=%7")
        .arg(flag("deviceListView"), flag("configureButton"), flag("refreshButton"), flag("mapDriveButton"),
             flag("browseButton"), flag("shortcutButton"),
             widget(w, "searchAnimation")->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void controlRectangles_data();
    void controlRectangles();
    void initialisation();
    void fontsAndColours();
    void everyControlHasAnAccessibleName();
    void enableStatesOverASearch();
    void makerFilterAndRowLimit();
    void otherMakerOnlyGivesNoBox();
    void nothingFoundShowsNoDeviceBox();
    void refreshStartsANewSearch();
    void oneSearchAtATime();
    void closingDuringASearchIsSafe();
    void windowMenu();
    void draggingBySurfaceOnly();
    void dialogKeysEndTheWindow_data();
    void dialogKeysEndTheWindow();
    void titleBarButtons();

private:
    // A shown window whose first search has ended (the no-device box, if any, accepted).
    std::unique_ptr<Cqv_discoveryDlg> openIdleWindow(std::vector<fake::FakeDevice> devices);
};

void TestMainWindow::initTestCase()
{
    qvd::timing().pollIntervalMs.store(PollMs);
}

void TestMainWindow::cleanup()
{
    fake::Release();
}

std::unique_ptr<Cqv_discoveryDlg> TestMainWindow::openIdleWindow(std::vector<fake::FakeDevice> devices)
{
    fake::SetScript(std::move(devices));
    ModalWatcher watcher;
    auto window = std::make_unique<Cqv_discoveryDlg>(nullptr, fake::WorkerEntry);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        return nullptr;
    }
    if (!QTest::qWaitFor([&] { return !window->IsSearching(); }, 5000)) {
        return nullptr;
    }
    return window;
}

void TestMainWindow::controlRectangles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("1000") << "deviceListView" << QRect(33, 119, 418, 133);
    QTest::newRow("1001") << "shareListView" << QRect(33, 362, 418, 133);
    QTest::newRow("1002") << "closeButton" << QRect(465, 9, 22, 22);
    QTest::newRow("1003") << "minimiseButton" << QRect(438, 9, 22, 22);
    QTest::newRow("1004") << "aboutButton" << QRect(411, 9, 22, 22);
    QTest::newRow("1005") << "configureButton" << QRect(364, 268, 108, 32);
    QTest::newRow("1006") << "refreshButton" << QRect(250, 268, 108, 32);
    QTest::newRow("1008") << "mapDriveButton" << QRect(250, 530, 108, 32);
    QTest::newRow("1009") << "browseButton" << QRect(364, 530, 108, 32);
    QTest::newRow("1011") << "deviceHeading" << QRect(28, 86, 231, 24);
    QTest::newRow("1012") << "shareHeading" << QRect(28, 329, 194, 28);
    QTest::newRow("1013") << "driveLetterLabel" << QRect(30, 508, 212, 19);
    QTest::newRow("1016 moved") << "searchAnimation" << QRect(220, 175, 50, 50);
    QTest::newRow("1017") << "shortcutButton" << QRect(26, 268, 224, 33);
}

void TestMainWindow::controlRectangles()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    fake::SetScript({}, 0, true);
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    QCOMPARE(window.size(), QSize(498, 583));
    QWidget* child = window.findChild<QWidget*>(name);
    QVERIFY(child != nullptr);
    QCOMPARE(child->geometry(), rect);
    fake::Release();
    QTRY_VERIFY(!window.IsSearching());
}

void TestMainWindow::initialisation()
{
    fake::SetScript({}, 0, true);
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    QCOMPARE(window.windowTitle(), QStringLiteral("QV Link"));
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window.windowFlags().testFlag(Qt::Window));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.BackgroundId(), 229);

    auto* devices = control<CSkinListCtrl>(window, "deviceListView");
    auto* shares = control<CSkinListCtrl>(window, "shareListView");
    QCOMPARE(devices->columnCount(), 2);
    QCOMPARE(devices->headerItem()->text(0), QStringLiteral("Name"));
    QCOMPARE(devices->headerItem()->text(1), QStringLiteral("IP"));
    QCOMPARE(devices->columnWidth(0), 215);
    QCOMPARE(shares->headerItem()->text(0), QStringLiteral("Volume Name"));
    QCOMPARE(shares->headerItem()->text(1), QStringLiteral("Location"));
    QCOMPARE(shares->columnWidth(1), 215);
    QVERIFY(devices->GetVerticalBar() != nullptr); // skinned before the columns were added
    // Only the device list lets its columns be reordered by dragging their headers.
    QVERIFY(devices->header()->sectionsMovable());
    QVERIFY(!shares->header()->sectionsMovable());

    QCOMPARE(control<CxSkinButton>(window, "refreshButton")->text(), QStringLiteral("Refresh"));
    QCOMPARE(control<CxSkinButton>(window, "configureButton")->text(), QStringLiteral("Configure"));
    QCOMPARE(control<CxSkinButton>(window, "mapDriveButton")->text(), QStringLiteral("Map Drive"));
    QCOMPARE(control<CxSkinButton>(window, "browseButton")->text(), QStringLiteral("Browse"));
    QCOMPARE(control<CxSkinButton>(window, "shortcutButton")->text(), QStringLiteral("Create Desktop Shortcut"));
    QVERIFY(control<CxSkinButton>(window, "closeButton")->text().isEmpty());
    QCOMPARE(control<QLabel>(window, "deviceHeading")->text(), QStringLiteral("Network Storage Found"));
    QCOMPARE(control<QLabel>(window, "shareHeading")->text(), QStringLiteral("Drive Mapping"));
    QCOMPARE(control<QLabel>(window, "driveLetterLabel")->text(), QStringLiteral("Available Drive Letters:"));

    // Map Drive and Browse are disabled by the window itself, before any search.
    QVERIFY(!widget(window, "mapDriveButton")->isEnabled());
    QVERIFY(!widget(window, "browseButton")->isEnabled());

    // The drive letters are there before the window is shown: D: to Z:, ascending, D: chosen.
    auto* letters = control<QComboBox>(window, "driveLetterBox");
    QCOMPARE(letters->count(), 23);
    QCOMPARE(letters->itemText(0), QStringLiteral("D:"));
    QCOMPARE(letters->itemText(22), QStringLiteral("Z:"));
    QCOMPARE(letters->currentText(), QStringLiteral("D:"));
    QVERIFY(letters->isEditable());

    // The animation was loaded, filled with the skin colour and hidden before the search.
    auto* animation = control<CPictureEx>(window, "searchAnimation");
    QVERIFY(animation->IsReady());
    QCOMPARE(animation->BackgroundColor(), QColor(59, 59, 59));

    // The search starts at the end of the initialisation: the second row of the table is what
    // the user sees first.
    window.show();
    QTRY_COMPARE(states(window), QStringLiteral("list=0 cfg=0 refresh=0 map=0 browse=0 shortcut=0 anim=shown"));
    QTRY_VERIFY(animation->IsPlaying());
    fake::Release();
    QTRY_COMPARE(states(window), QStringLiteral("list=0 cfg=0 refresh=1 map=0 browse=0 shortcut=0 anim=hidden"));
    QTRY_VERIFY(!window.IsSearching());
}

void TestMainWindow::fontsAndColours()
{
    fake::SetScript({}, 0, true);
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    struct Expect
    {
        const char* name;
        int cellHeight;
    };
    for (const Expect& e : {Expect{"deviceListView", 16}, Expect{"shareListView", 16}, Expect{"refreshButton", 18},
                            Expect{"shortcutButton", 18}, Expect{"deviceHeading", 24}, Expect{"shareHeading", 24},
                            Expect{"driveLetterLabel", 16}}) {
        const QFont font = widget(window, e.name)->font();
        QCOMPARE(font.family(), QStringLiteral("Arial"));
        QCOMPARE(font.weight(), QFont::Normal);
        // Resolved through the metric-compatible face, the cell height is the given one.
        QVERIFY2(std::abs(QFontMetrics(font).height() - e.cellHeight) <= 1, e.name);
    }
    QCOMPARE(control<CxSkinButton>(window, "refreshButton")->TextColor(), QColor(193, 193, 193));
    QCOMPARE(control<CSkinListCtrl>(window, "deviceListView")->GetTextColor(), QColor(193, 193, 193));
    QCOMPARE(control<CSkinListCtrl>(window, "shareListView")->GetTextColor(), QColor(193, 193, 193));
    QCOMPARE(control<QLabel>(window, "deviceHeading")->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(control<QLabel>(window, "driveLetterLabel")->palette().color(QPalette::WindowText), QColor(145, 145, 145));
    QVERIFY(!control<QLabel>(window, "deviceHeading")->autoFillBackground());
    fake::Release();
    QTRY_VERIFY(!window.IsSearching());
}

void TestMainWindow::everyControlHasAnAccessibleName()
{
    fake::SetScript({}, 0, true);
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    for (const char* name :
         {"deviceListView", "shareListView", "closeButton", "minimiseButton", "aboutButton", "configureButton",
          "refreshButton", "driveLetterBox", "mapDriveButton", "browseButton", "shortcutButton", "searchAnimation"}) {
        QVERIFY2(!widget(window, name)->accessibleName().isEmpty(), name);
    }
    QCOMPARE(widget(window, "refreshButton")->accessibleName(), QStringLiteral("Refresh"));
    QCOMPARE(widget(window, "deviceListView")->accessibleName(), QStringLiteral("Network Storage Found"));
    QCOMPARE(widget(window, "aboutButton")->accessibleName(), QStringLiteral("About QV Link"));
    fake::Release();
    QTRY_VERIFY(!window.IsSearching());
}

void TestMainWindow::enableStatesOverASearch()
{
    // Two maker devices a few polls apart; the worker then keeps running until released.
    fake::SetScript({fake::MakerDevice("Alpha", "192.168.1.20:8080"), fake::MakerDevice("Beta", "192.168.1.21")}, 300,
                    true);
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    window.show();
    auto* devices = control<CSkinListCtrl>(window, "deviceListView");
    QTRY_COMPARE(states(window), QStringLiteral("list=0 cfg=0 refresh=0 map=0 browse=0 shortcut=0 anim=shown"));

    // The first device listed: list, Configure and Shortcut back, animation gone, search goes on.
    QTRY_COMPARE(devices->GetItemCount(), 1);
    QTRY_COMPARE(states(window), QStringLiteral("list=1 cfg=1 refresh=0 map=0 browse=0 shortcut=1 anim=hidden"));
    QCOMPARE(devices->GetItemText(0, 0), QStringLiteral("Alpha"));
    QCOMPARE(devices->GetItemText(0, 1), QStringLiteral("192.168.1.20"));
    QTRY_COMPARE(devices->GetItemCount(), 2);
    QCOMPARE(devices->GetItemText(1, 1), QStringLiteral("192.168.1.21")); // no port: shown whole
    QVERIFY(window.IsSearching());

    fake::Release();
    QTRY_COMPARE(states(window), QStringLiteral("list=1 cfg=1 refresh=1 map=0 browse=0 shortcut=1 anim=hidden"));
    QTRY_VERIFY(!window.IsSearching());
    const qvd::RowToRecord& rows = window.RowToRecordTable();
    QCOMPARE(rows[0].load(), 0);
    QCOMPARE(rows[1].load(), 1);
    QCOMPARE(rows[2].load(), -1);
    QVERIFY(watcher.seen.isEmpty());
}

void TestMainWindow::makerFilterAndRowLimit()
{
    std::vector<fake::FakeDevice> script;
    script.push_back({"MediaServer", "Capitals", "10.0.0.1", "HALVREN STORAGE CORPORATION"});
    script.push_back({"MediaServer", "Longer maker", "10.0.0.2", "Halvren Storage Corporation Europe"});
    script.push_back({"Printer", "Wrong type", "10.0.0.3", fake::Maker});
    for (int i = 0; i < 22; ++i) {
        script.push_back(fake::MakerDevice("Box " + std::to_string(i), "10.0.1." + std::to_string(i)));
    }
    auto window = openIdleWindow(script);
    QVERIFY(window);
    auto* devices = control<CSkinListCtrl>(*window, "deviceListView");
    QCOMPARE(devices->GetItemCount(), 20);
    QCOMPARE(devices->GetItemText(0, 0), QStringLiteral("Longer maker"));
    QCOMPARE(devices->GetItemText(1, 0), QStringLiteral("Box 0"));
    QCOMPARE(devices->GetItemText(19, 0), QStringLiteral("Box 18"));
    const qvd::RowToRecord& rows = window->RowToRecordTable();
    QCOMPARE(rows[0].load(), 1);
    QCOMPARE(rows[1].load(), 3);
    QCOMPARE(rows[19].load(), 21);
}

void TestMainWindow::otherMakerOnlyGivesNoBox()
{
    ModalWatcher watcher;
    auto window = openIdleWindow({{"MediaServer", "Other server", "10.0.0.9:8200", "Another Maker"}});
    QVERIFY(window);
    QCOMPARE(states(*window), QStringLiteral("list=0 cfg=0 refresh=1 map=0 browse=0 shortcut=0 anim=hidden"));
    QCOMPARE(control<CSkinListCtrl>(*window, "deviceListView")->GetItemCount(), 0);
    QTest::qWait(PollMs * 3);
    QVERIFY(watcher.seen.isEmpty());
}

void TestMainWindow::nothingFoundShowsNoDeviceBox()
{
    fake::SetScript({});
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    bool searchingWhileUp = false;
    bool refreshWhileUp = false;
    int kind = -1;
    QWidget* owner = nullptr;
    watcher.onSeen = [&](QDialog& box) {
        // The box is up before the search thread ends; Refresh is already back.
        searchingWhileUp = window.IsSearching();
        refreshWhileUp = widget(window, "refreshButton")->isEnabled();
        if (auto* msgBox = qobject_cast<CMsgBox*>(&box)) {
            kind = msgBox->kind;
        }
        owner = box.parentWidget();
    };
    window.show();
    QTRY_COMPARE(watcher.seen, QStringList{QStringLiteral("CMsgBox")});
    QVERIFY(searchingWhileUp);
    QVERIFY(refreshWhileUp);
    QCOMPARE(kind, int(KindNoDevice));
    QCOMPARE(owner, &window);
    QCOMPARE(watcher.lastTexts.value(QStringLiteral("textLabel")), LoadStringFor(1033, 130));
    QVERIFY(watcher.lastTexts.value(QStringLiteral("titleLabel")).isEmpty());
    QTRY_VERIFY(!window.IsSearching());
}

void TestMainWindow::refreshStartsANewSearch()
{
    auto window = openIdleWindow({fake::MakerDevice("Alpha", "10.0.0.1")});
    QVERIFY(window);
    QCOMPARE(fake::StartedWorkers(), 1);
    fake::SetScript({fake::MakerDevice("Gamma", "10.0.0.3"), fake::MakerDevice("Delta", "10.0.0.4")}, 0, true);
    QTest::mouseClick(widget(*window, "refreshButton"), Qt::LeftButton);
    QTRY_COMPARE(fake::StartedWorkers(), 1);
    auto* devices = control<CSkinListCtrl>(*window, "deviceListView");
    QTRY_COMPARE(devices->GetItemCount(), 2);
    QCOMPARE(devices->GetItemText(0, 0), QStringLiteral("Gamma"));
    fake::Release();
    QTRY_VERIFY(!window->IsSearching());
}

void TestMainWindow::oneSearchAtATime()
{
    fake::SetScript({}, 0, true);
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    QTRY_COMPARE(fake::StartedWorkers(), 1);
    QVERIFY(window.IsSearching());
    window.OnRefresh(); // Refresh is disabled, but a second start must not happen even so
    QTest::qWait(PollMs * 5);
    QCOMPARE(fake::StartedWorkers(), 1);
    fake::Release();
    QTRY_VERIFY(!window.IsSearching());
    QCOMPARE(watcher.seen.size(), 1);
}

void TestMainWindow::closingDuringASearchIsSafe()
{
    fake::SetScript({fake::MakerDevice("Late", "10.0.0.5")}, PollMs * 3, true);
    {
        Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
        window.show();
        QTRY_VERIFY(!widget(window, "refreshButton")->isEnabled()); // the search is under way
        window.reject();
    }
    // The search goes on without a window: its device and its end change nothing.
    fake::Release();
    QTRY_COMPARE(fake::FinishedWorkers(), 1);
    QTest::qWait(PollMs * 10);
    QVERIFY(QApplication::topLevelWidgets().size() <= 1 || QApplication::activeModalWidget() == nullptr);
}

void TestMainWindow::windowMenu()
{
    auto window = openIdleWindow({fake::MakerDevice("Alpha", "10.0.0.1")});
    QVERIFY(window);
    QMenu* menu = window->SystemMenu();
    QVERIFY(menu != nullptr);
    const QList<QAction*> actions = menu->actions();
    QVERIFY(actions.size() >= 3);
    QCOMPARE(actions.last()->text(), QStringLiteral("&About QV Link"));
    QCOMPARE(actions.last()->data().toInt(), AboutCommandId);
    QVERIFY(actions.at(actions.size() - 2)->isSeparator());

    // A right click on the surface (the logo area) opens it; one on a control does not.
    QTest::mouseClick(control<CSkinListCtrl>(*window, "deviceListView")->viewport(), Qt::RightButton, {},
                      QPoint(50, 60));
    QTest::qWait(50);
    QVERIFY(!menu->isVisible());
    QTest::mouseClick(window.get(), Qt::RightButton, {}, QPoint(60, 40));
    QTRY_VERIFY(menu->isVisible());
    menu->close();
    QTRY_VERIFY(!menu->isVisible());

    // Alt+Space opens it too.
    window->activateWindow();
    QTest::keyClick(window.get(), Qt::Key_Space, Qt::AltModifier);
    QTRY_VERIFY(menu->isVisible());
    menu->close();

    // Its About entry opens the About box.
    ModalWatcher watcher;
    actions.last()->trigger();
    QCOMPARE(watcher.seen, QStringList{QStringLiteral("showabout")});
}

void TestMainWindow::draggingBySurfaceOnly()
{
    auto window = openIdleWindow({fake::MakerDevice("Alpha", "10.0.0.1")});
    QVERIFY(window);
    window->move(100, 100);
    const QPoint start = window->pos();
    auto drag = [](QWidget* target, QPoint from, QPoint by) {
        const QPoint global = target->mapToGlobal(from);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(from), QPointF(global), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QMouseEvent moveEvent(QEvent::MouseMove, QPointF(from + by), QPointF(global + by), Qt::NoButton, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(target, &moveEvent);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(from + by), QPointF(global + by), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &release);
    };
    // By the logo area of the background.
    drag(window.get(), QPoint(60, 40), QPoint(30, 20));
    QTRY_COMPARE(window->pos(), start + QPoint(30, 20));
    // Not by a control.
    drag(widget(*window, "refreshButton"), QPoint(10, 10), QPoint(40, 40));
    QTest::qWait(20);
    QCOMPARE(window->pos(), start + QPoint(30, 20));
}

void TestMainWindow::dialogKeysEndTheWindow_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("result");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << "refreshButton" << int(QDialog::Rejected);
    QTest::newRow("Enter on a button") << int(Qt::Key_Return) << "refreshButton" << int(QDialog::Accepted);
    QTest::newRow("Enter in the list") << int(Qt::Key_Enter) << "deviceListView" << int(QDialog::Accepted);
    QTest::newRow("Enter in the letters") << int(Qt::Key_Return) << "driveLetterBox" << int(QDialog::Accepted);
    QTest::newRow("Escape in the letters") << int(Qt::Key_Escape) << "driveLetterBox" << int(QDialog::Rejected);
}

void TestMainWindow::dialogKeysEndTheWindow()
{
    QFETCH(int, key);
    QFETCH(QString, focus);
    QFETCH(int, result);
    auto window = openIdleWindow({fake::MakerDevice("Alpha", "10.0.0.1")});
    QVERIFY(window);
    const int searches = fake::StartedWorkers();
    QWidget* target = window->findChild<QWidget*>(focus);
    if (auto* box = qobject_cast<QComboBox*>(target)) {
        box->setEditText(QStringLiteral("QQ")); // typed text is not a new item
        target = box->lineEdit();
    }
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key));
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(window->result(), result);
    QCOMPARE(fake::StartedWorkers(), searches);                           // Enter did not press Refresh
    QCOMPARE(control<QComboBox>(*window, "driveLetterBox")->count(), 23); // nor add a letter
}

void TestMainWindow::titleBarButtons()
{
    auto window = openIdleWindow({fake::MakerDevice("Alpha", "10.0.0.1")});
    QVERIFY(window);
    {
        ModalWatcher watcher;
        QTest::mouseClick(widget(*window, "aboutButton"), Qt::LeftButton);
        QCOMPARE(watcher.seen, QStringList{QStringLiteral("showabout")});
    }
    QTest::mouseClick(widget(*window, "minimiseButton"), Qt::LeftButton);
    QTRY_VERIFY(window->isMinimized());
    window->showNormal();
    QTRY_VERIFY(!window->isMinimized());
    QTest::mouseClick(widget(*window, "closeButton"), Qt::LeftButton);
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(window->result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
