// The main window: controls as laid out, initialisation, enable states over a search (scripted
// worker, short poll interval), one search at a time, the surface (menu, dragging), dialog keys.

#include "CMsgBox.h"
#include "CPictureEx.h"
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "CxSkinButton.h"
#include "FakeDiscovery.h"
#include "Language.h"
#include "ModalWatcher.h"
#include "protocol.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <memory>

namespace {

constexpr int PollMs = 10;
const QString Searching = QStringLiteral("list=0 cfg=0 refresh=0 map=0 browse=0 shortcut=0 anim=shown");
const QString NoneFound = QStringLiteral("list=0 cfg=0 refresh=1 map=0 browse=0 shortcut=0 anim=hidden");

template <typename T = QWidget> T* control(const QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

// The enable state of the search-related controls, as one comparable text.
QString states(const QWidget& w)
{
    auto flag = [&](const char* name) { return QString::number(int(control(w, name)->isEnabled())); };
    return QStringLiteral("list=%1 cfg=%2 refresh=%3 map=%4 browse=%5 shortcut=%6 anim=%7")
        .arg(flag("deviceListView"), flag("configureButton"), flag("refreshButton"), flag("mapDriveButton"),
             flag("browseButton"), flag("shortcutButton"),
             control(w, "searchAnimation")->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"));
}

// Press, move and release, each made after the one before was delivered.
void drag(QWidget* target, QPoint from, QPoint by)
{
    const QPointF global(target->mapToGlobal(from));
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(at), global + QPointF(at - from), button, held, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, from + by, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + by, Qt::LeftButton, Qt::NoButton);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qvd::timing().pollIntervalMs.store(PollMs); }
    void cleanup()
    {
        fake::Release();
        if (m_window) {
            QTRY_VERIFY(!m_window->IsSearching());
        }
        m_window.reset();
        m_watcher.reset();
    }

    void initialisation();
    void largerIconsAfterTheFirstFrame();
    void enableStatesOverASearch();
    void makerFilterRowLimitAndRefresh();
    void recordsListedOnePollApart();
    void noDeviceBox();
    void closingDuringASearchIsSafe();
    void surfaceAndTitleBar();
    void dialogKeysEndTheWindow_data();
    void dialogKeysEndTheWindow();

private:
    // A window whose search runs the script; shown and idle (search ended) unless hold is set.
    Cqv_discoveryDlg& open(std::vector<fake::FakeDevice> devices, int gapMs = 0, bool hold = false)
    {
        fake::SetScript(std::move(devices), gapMs, hold);
        m_watcher = std::make_unique<ModalWatcher>();
        m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, fake::WorkerEntry);
        if (!hold) {
            m_window->show();
            if (!QTest::qWaitFor([&] { return !m_window->IsSearching(); }, 30000)) {
                qWarning("the first search did not end");
            }
        }
        return *m_window;
    }

    std::unique_ptr<ModalWatcher> m_watcher;
    std::unique_ptr<Cqv_discoveryDlg> m_window;
};

// The big and small icons come with the window; the larger sizes once its first frame is up.
void TestMainWindow::largerIconsAfterTheFirstFrame()
{
    Cqv_discoveryDlg& window = open({}, 0, true);
    const auto largest = [&] {
        int side = 0;
        for (const QSize& size : window.windowIcon().availableSizes()) {
            side = std::max(side, size.width());
        }
        return side;
    };
    QCOMPARE(largest(), 32);
    QSignalSpy firstFrame(&window, &Cqv_discoveryDlg::firstFrameShown);
    window.show();
    QTRY_COMPARE(firstFrame.count(), 1);
    QCOMPARE(largest(), 256);
    // Later frames change nothing.
    window.update();
    QTest::qWait(50);
    QCOMPARE(firstFrame.count(), 1);
}

void TestMainWindow::initialisation()
{
    Cqv_discoveryDlg& window = open({}, 0, true);
    QCOMPARE(window.windowTitle(), QStringLiteral("QV Link")); // a second copy looks for this title
    QCOMPARE(window.size(), QSize(498, 583));
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint) && !window.windowIcon().isNull());
    QCOMPARE(window.BackgroundId(), 229);

    // Caption null: none to check; cell height 0: no font to check.
    const struct
    {
        const char* name;
        QRect rect;
        const char *text, *accessible;
        int cellHeight;
    } controls[] = {
        {"deviceListView", {33, 119, 418, 133}, nullptr, "Network Storage Found", 16},
        {"shareListView", {33, 362, 418, 133}, nullptr, "Drive Mapping", 16},
        {"closeButton", {465, 9, 22, 22}, "", "Close", 0},
        {"minimiseButton", {438, 9, 22, 22}, "", "Minimise", 0},
        {"aboutButton", {411, 9, 22, 22}, "", "About QV Link", 0},
        {"configureButton", {364, 268, 108, 32}, "Configure", "Configure", 18},
        {"refreshButton", {250, 268, 108, 32}, "Refresh", "Refresh", 18},
        {"driveLetterBox", {28, 532, 194, 0}, nullptr, "Available Drive Letters:", 0},
        {"mapDriveButton", {250, 530, 108, 32}, "Map Drive", "Map Drive", 18},
        {"browseButton", {364, 530, 108, 32}, "Browse", "Browse", 18},
        {"deviceHeading", {28, 86, 231, 24}, "Network Storage Found", "", 24},
        {"shareHeading", {28, 329, 194, 28}, "Drive Mapping", "", 24},
        {"driveLetterLabel", {30, 508, 212, 19}, "Available Drive Letters:", "", 16},
        {"searchAnimation", {220, 175, 50, 50}, nullptr, "Searching", 0}, // moved at initialisation
        {"shortcutButton", {26, 268, 224, 33}, "Create Desktop Shortcut", "Create Desktop Shortcut", 18},
    };
    for (const auto& c : controls) {
        const QWidget* child = control(window, c.name);
        QVERIFY2(child != nullptr, c.name);
        QRect rect = child->geometry();
        rect.setHeight(c.rect.height() == 0 ? 0 : rect.height()); // the letter box keeps its own height
        QVERIFY2(rect == c.rect, c.name);
        QVERIFY2(!c.text || child->property("text").toString() == QString::fromUtf8(c.text), c.name);
        QVERIFY2(!*c.accessible || child->accessibleName() == QString::fromUtf8(c.accessible), c.name);
        const QFont font = child->font();
        QVERIFY2(c.cellHeight == 0 || (font.family() == "Arial" && font.weight() == QFont::Normal &&
                                       std::abs(QFontMetrics(font).height() - c.cellHeight) <= 1),
                 c.name);
    }

    auto* devices = control<CSkinListCtrl>(window, "deviceListView");
    auto* shares = control<CSkinListCtrl>(window, "shareListView");
    const auto headers = [](QTreeWidget* list) {
        return list->headerItem()->text(0) + "|" + list->headerItem()->text(1) + "|" +
               QString::number(list->columnWidth(0)) + "|" + QString::number(list->columnWidth(1));
    };
    QCOMPARE(headers(devices), QStringLiteral("Name|IP|215|215"));
    QCOMPARE(headers(shares), QStringLiteral("Volume Name|Location|215|215"));
    QVERIFY(devices->GetVerticalBar() != nullptr); // skinned before the columns were added
    QVERIFY(devices->header()->sectionsMovable() && !shares->header()->sectionsMovable());

    const QColor caption(193, 193, 193);
    QCOMPARE(control<CxSkinButton>(window, "refreshButton")->TextColor(), caption);
    QVERIFY(devices->GetTextColor() == caption && shares->GetTextColor() == caption);
    QCOMPARE(control<QLabel>(window, "deviceHeading")->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(control<QLabel>(window, "driveLetterLabel")->palette().color(QPalette::WindowText), QColor(145, 145, 145));
    // Disabled by the window itself, before any search.
    QVERIFY(!control(window, "mapDriveButton")->isEnabled() && !control(window, "browseButton")->isEnabled());

    // D: to Z:, D: chosen, before the window is shown.
    auto* letters = control<QComboBox>(window, "driveLetterBox");
    QCOMPARE(letters->count(), 23);
    QCOMPARE(letters->itemText(22) + letters->currentText(), QStringLiteral("Z:D:"));
    QVERIFY(letters->isEditable());

    // Loaded and filled with the skin colour before the search starts it.
    QVERIFY(window.Animation()->IsReady());
    QCOMPARE(window.Animation()->BackgroundColor(), QColor(59, 59, 59));
}

void TestMainWindow::enableStatesOverASearch()
{
    // Two maker devices a few polls apart; the worker then keeps running until released.
    Cqv_discoveryDlg& window =
        open({fake::MakerDevice("Alpha", "192.168.1.20:8080"), fake::MakerDevice("Beta", "192.168.1.21")}, 300, true);
    window.show();
    auto* devices = control<CSkinListCtrl>(window, "deviceListView");
    QTRY_COMPARE(states(window), Searching);
    QTRY_VERIFY(window.Animation()->IsPlaying());

    // The first device brings the list, Configure and Shortcut back and hides the animation.
    QTRY_COMPARE(devices->GetItemCount(), 1);
    QTRY_COMPARE(states(window), QStringLiteral("list=1 cfg=1 refresh=0 map=0 browse=0 shortcut=1 anim=hidden"));
    QCOMPARE(devices->GetItemText(0, 0) + " " + devices->GetItemText(0, 1), QStringLiteral("Alpha 192.168.1.20"));
    QTRY_COMPARE(devices->GetItemCount(), 2);
    QCOMPARE(devices->GetItemText(1, 1), QStringLiteral("192.168.1.21")); // no port: shown whole
    QVERIFY(window.IsSearching());

    fake::Release();
    QTRY_COMPARE(states(window), QStringLiteral("list=1 cfg=1 refresh=1 map=0 browse=0 shortcut=1 anim=hidden"));
    QTRY_VERIFY(!window.IsSearching());
    const qvd::RowToRecord& rows = window.RowToRecordTable();
    QCOMPARE(QList<int>({rows[0].load(), rows[1].load(), rows[2].load()}), QList<int>({0, 1, -1}));
    QVERIFY(m_watcher->seen.isEmpty());
}

// Records that the search publishes all at once still reach the list one poll apart: one pause
// after each record. A pause lasts at least the poll interval, so each row comes at least one
// interval after the one before, and the last one at least four intervals after the first.
void TestMainWindow::recordsListedOnePollApart()
{
    constexpr int Interval = 60;
    constexpr int Records = 5;
    qvd::timing().pollIntervalMs.store(Interval);
    std::vector<fake::FakeDevice> script;
    for (int i = 0; i < Records; ++i) {
        script.push_back(fake::MakerDevice("Box " + std::to_string(i), "10.0.2." + std::to_string(i)));
    }
    Cqv_discoveryDlg& window = open(script, 0, true);
    auto* list = control<CSkinListCtrl>(window, "deviceListView");
    QElapsedTimer clock;
    clock.start();
    QList<qint64> listedAt;
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex&, int first, int last) {
        for (int row = first; row <= last; ++row) {
            listedAt.append(clock.nsecsElapsed());
        }
    });
    window.show();
    fake::Release(); // all records are in the table before the window looks
    QTRY_COMPARE_WITH_TIMEOUT(listedAt.size(), Records, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!window.IsSearching(), 10000);
    qvd::timing().pollIntervalMs.store(PollMs);
    for (int i = 1; i < Records; ++i) {
        const qint64 gapMs = (listedAt.at(i) - listedAt.at(i - 1)) / 1000000;
        QVERIFY2(gapMs >= Interval - 1,
                 qPrintable(QStringLiteral("row %1 came %2 ms after the one before").arg(i).arg(gapMs)));
    }
    QCOMPARE(list->GetItemCount(), Records);
}

void TestMainWindow::makerFilterRowLimitAndRefresh()
{
    std::vector<fake::FakeDevice> script{
        {"MediaServer", "Capitals", "10.0.0.1", "HALVREN STORAGE CORPORATION"},
        {"MediaServer", "Longer maker", "10.0.0.2", "Halvren Storage Corporation Europe"},
        {"Printer", "Wrong type", "10.0.0.3", fake::Maker}};
    for (int i = 0; i < 22; ++i) {
        script.push_back(fake::MakerDevice("Box " + std::to_string(i), "10.0.1." + std::to_string(i)));
    }
    Cqv_discoveryDlg& window = open(script);
    auto* devices = control<CSkinListCtrl>(window, "deviceListView");
    const auto names = [&](std::initializer_list<int> rows) {
        QStringList texts;
        for (int row : rows)
            texts << devices->GetItemText(row, 0);
        return texts.join(QLatin1Char('|'));
    };
    const qvd::RowToRecord& rows = window.RowToRecordTable();
    QCOMPARE(devices->GetItemCount(), 20);
    QCOMPARE(names({0, 1, 19}), QStringLiteral("Longer maker|Box 0|Box 18"));
    QCOMPARE(QList<int>({rows[0].load(), rows[1].load(), rows[19].load()}), QList<int>({1, 3, 21}));

    // Refresh starts a new search over a cleared list and a reset row table.
    fake::SetScript({fake::MakerDevice("Gamma", "10.0.0.3"), fake::MakerDevice("Delta", "10.0.0.4")}, 0, true);
    QTest::mouseClick(control(window, "refreshButton"), Qt::LeftButton);
    QTRY_COMPARE(devices->GetItemCount(), 2);
    QCOMPARE(names({0, 1}), QStringLiteral("Gamma|Delta"));
    // The search thread files a row's record right after the row is shown.
    QTRY_COMPARE(QList<int>({rows[0].load(), rows[1].load(), rows[19].load()}), QList<int>({0, 1, -1}));
    // Refresh is disabled now, but a second start must not happen even when asked directly:
    // it would wait for the table's turn and run its worker once the first ends.
    QVERIFY(window.IsSearching());
    window.OnRefresh();
    fake::Release();
    QTRY_VERIFY(!window.IsSearching());
    QVERIFY(!QTest::qWaitFor([] { return fake::StartedWorkers() > 1; }, 300));
}

void TestMainWindow::noDeviceBox()
{
    // Only another maker's device: nothing listed, and no box either.
    Cqv_discoveryDlg& window = open({{"MediaServer", "Other", "10.0.0.9:8200", "Another Maker"}});
    QCOMPARE(states(window), NoneFound);
    QTest::qWait(PollMs * 3);
    QVERIFY(m_watcher->seen.isEmpty());

    // Nothing at all: the box, up before the search thread ends, with Refresh already back.
    QString whileUp;
    m_watcher->onSeen = [&](QDialog& box) {
        auto* msgBox = qobject_cast<CMsgBox*>(&box);
        whileUp = QStringLiteral("searching=%1 refresh=%2 kind=%3 owned=%4")
                      .arg(int(window.IsSearching()))
                      .arg(int(control(window, "refreshButton")->isEnabled()))
                      .arg(msgBox != nullptr ? msgBox->kind : -1)
                      .arg(int(box.parentWidget() == &window));
    };
    fake::SetScript({});
    window.OnRefresh();
    QTRY_COMPARE(m_watcher->seen, QStringList{QStringLiteral("CMsgBox")});
    QCOMPARE(whileUp, QStringLiteral("searching=1 refresh=1 kind=%1 owned=1").arg(int(KindNoDevice)));
    QCOMPARE(m_watcher->lastTexts.value(QStringLiteral("textLabel")), LoadStringFor(1033, 130));
    QVERIFY(m_watcher->lastTexts.value(QStringLiteral("titleLabel")).isEmpty());
    QTRY_COMPARE(states(window), NoneFound);
}

void TestMainWindow::closingDuringASearchIsSafe()
{
    fake::SetScript({fake::MakerDevice("Late", "10.0.0.5")}, PollMs * 3, true);
    {
        Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
        window.show();
        QTRY_VERIFY(!control(window, "refreshButton")->isEnabled()); // the search is under way
        window.reject();
    }
    // The search goes on without a window: its device and its end must touch nothing.
    fake::Release();
    QTRY_COMPARE(fake::FinishedWorkers(), 1);
    QTest::qWait(PollMs * 10);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestMainWindow::surfaceAndTitleBar()
{
    Cqv_discoveryDlg& window = open({fake::MakerDevice("Alpha", "10.0.0.1")});
    QMenu* menu = window.SystemMenu();
    const QList<QAction*> actions = menu->actions();
    // What the window's style allows is enabled: no sizing, no minimise or maximise box, and
    // Restore only while minimised. Then Close, and the About entry after a separator.
    const auto entries = [menu] {
        QStringList shown;
        for (QAction* action : menu->actions()) {
            shown << (action->isSeparator() ? QStringLiteral("-") : action->text()) +
                         (action->isEnabled() ? "" : " (off)");
        }
        return shown;
    };
    QCOMPARE(actions.last()->text(), QStringLiteral("&About QV Link"));
    QCOMPARE(actions.last()->data().toInt(), AboutCommandId);

    // A right click on the surface (the logo area) or Alt+Space opens the menu; one on a control does not.
    QTest::mouseClick(control<CSkinListCtrl>(window, "deviceListView")->viewport(), Qt::RightButton, {}, {50, 60});
    QTest::qWait(50);
    QVERIFY(!menu->isVisible());
    QTest::mouseClick(&window, Qt::RightButton, {}, QPoint(60, 40));
    QTRY_VERIFY(menu->isVisible());
    menu->close();
    QTRY_VERIFY(!menu->isVisible());
    window.activateWindow();
    QTest::keyClick(&window, Qt::Key_Space, Qt::AltModifier);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(entries(), QStringList({"&Restore (off)", "&Move", "&Size (off)", "Mi&nimise (off)", "Ma&ximise (off)",
                                     "-", "&Close", "-", "&About QV Link"}));
    menu->close();

    // The surface drags the window; a control does not.
    window.move(100, 100);
    const QPoint moved = window.pos() + QPoint(30, 20);
    drag(&window, QPoint(60, 40), QPoint(30, 20));
    QTRY_COMPARE(window.pos(), moved);
    drag(control(window, "refreshButton"), QPoint(10, 10), QPoint(40, 40));
    QTest::qWait(20);
    QCOMPARE(window.pos(), moved);

    // The menu's About entry and the About button open the About box.
    actions.last()->trigger();
    QTest::mouseClick(control(window, "aboutButton"), Qt::LeftButton);
    QCOMPARE(m_watcher->seen, QStringList({QStringLiteral("showabout"), QStringLiteral("showabout")}));

    QTest::mouseClick(control(window, "minimiseButton"), Qt::LeftButton);
    QTRY_VERIFY(window.isMinimized());
    window.showNormal();
    QTRY_VERIFY(!window.isMinimized());
    QTest::mouseClick(control(window, "closeButton"), Qt::LeftButton);
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(window.result(), int(QDialog::Rejected));
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
    Cqv_discoveryDlg& window = open({fake::MakerDevice("Alpha", "10.0.0.1")});
    QWidget* target = window.findChild<QWidget*>(focus);
    if (auto* box = qobject_cast<QComboBox*>(target)) {
        box->setEditText(QStringLiteral("QQ")); // typed text is not a new item
        target = box->lineEdit();
    }
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key));
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(window.result(), result);
    QCOMPARE(fake::StartedWorkers(), 1);                                 // Enter did not press Refresh
    QCOMPARE(control<QComboBox>(window, "driveLetterBox")->count(), 23); // nor add a letter
}

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
