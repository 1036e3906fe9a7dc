// The device list's tooltip on a real X server: hovering a device row shows the device's details
// with labels in the interface language, and the device's text shows exactly as the list shows
// it, never read as markup: a name that looks like HTML comes out as those characters, not as an
// image or a link. Run by x11-session.sh (Xvfb and openbox).

#include "CSkinHeaderCtrl.h"
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "devicetable.h"
#include "protocol.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QToolTip>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr char Maker[] = "Halvren Storage Corporation";

// The records the next search publishes, whole, as the discovery worker would. Set only while
// no search runs; starting the worker's thread orders the write before its reads.
std::vector<qvd::DeviceRecord> script;
std::atomic<int> scriptGapMs{0}; // relaxed: a plain setting, read once per record

void Fill(char (&field)[qvd::DeviceFieldSize], const QByteArray& text)
{
    qvd::copyField(field, text.constData(), static_cast<std::size_t>(text.size()));
}

struct Details
{
    QByteArray name, modelName, modelNumber, description, manufacturer, page, udn;
};

qvd::DeviceRecord Record(const Details& d)
{
    qvd::DeviceRecord record{};
    Fill(record.deviceType, "MediaServer");
    Fill(record.hostPort, "10.0.0.9:80");
    Fill(record.friendlyName, d.name);
    Fill(record.modelName, d.modelName);
    Fill(record.modelNumber, d.modelNumber);
    Fill(record.modelDescription, d.description);
    Fill(record.manufacturer, d.manufacturer);
    Fill(record.presentationURL, d.page);
    Fill(record.UDN, d.udn);
    return record;
}

qvd::DeviceRecord Plain(const QByteArray& name)
{
    return Record({name, name + " model", name + "-1", name + " description", QByteArray(Maker), "http://" + name + "/",
                   "uuid:" + name});
}

void ScriptWorker()
{
    qvd::DeviceList& list = qvd::deviceList();
    const int count = std::min<int>(static_cast<int>(script.size()), qvd::MaxDevices);
    for (int i = 0; i < count; ++i) {
        // Relaxed: a setting, no data hangs on it.
        std::this_thread::sleep_for(std::chrono::milliseconds(scriptGapMs.load(std::memory_order_relaxed)));
        list.records[i] = script[static_cast<std::size_t>(i)];
        // Release: the record is complete before a reader sees the count that includes it.
        list.count.store(i + 1, std::memory_order_release);
    }
    // Release: every record is visible to whoever sees done == 1.
    list.done.store(1, std::memory_order_release);
}

// The tooltip on screen, or null.
QLabel* ShownTip()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QTipLabel") && widget->isVisible()) {
            return qobject_cast<QLabel*>(widget);
        }
    }
    return nullptr;
}

// The non-empty text blocks of what the tip shows, read as the label reads its text.
QStringList ShownBlocks(const QLabel& tip, QString* fault)
{
    QTextDocument document;
    const bool rich =
        tip.textFormat() == Qt::RichText || (tip.textFormat() == Qt::AutoText && Qt::mightBeRichText(tip.text()));
    if (rich) {
        document.setHtml(tip.text());
    } else {
        document.setPlainText(tip.text());
    }
    QStringList blocks;
    // The label's own document too, where it has one: what it lays out has no picture or link.
    QList<const QTextDocument*> documents{&document};
    if (const auto* own = tip.findChild<QTextDocument*>()) {
        documents << own;
    } else if (rich) {
        *fault = QStringLiteral("the tip's rich text has no document");
    }
    for (const QTextDocument* doc : documents) {
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                if (format.isImageFormat() || format.isAnchor()) {
                    *fault = QStringLiteral("the tip shows a picture or a link");
                }
            }
            if (doc == &document && !block.text().isEmpty()) {
                blocks << block.text();
            }
        }
    }
    return blocks;
}

// What a tip for the record shows: the name, then label and value of each non-empty field.
QStringList Expected(const QString& name, const QList<std::pair<QString, QString>>& lines)
{
    QStringList blocks{name};
    for (const auto& [label, value] : lines) {
        blocks << label + QChar(0xA0) << value;
    }
    return blocks;
}

QString Latin(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace

class TestDeviceToolTip : public QObject
{
    Q_OBJECT

    std::unique_ptr<Cqv_discoveryDlg> m_window;
    CSkinListCtrl* m_list = nullptr;

    bool Open(std::vector<qvd::DeviceRecord> records)
    {
        script = std::move(records);
        m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, ScriptWorker);
        m_window->move(200, 80);
        m_window->show();
        m_list = qobject_cast<CSkinListCtrl*>(m_window->ControlById(qvd::IdDeviceList));
        return m_list != nullptr && QTest::qWaitForWindowActive(m_window.get()) &&
               QTest::qWaitFor([this] { return !m_window->IsSearching(); }, 5000) &&
               m_list->GetItemCount() == static_cast<int>(script.size());
    }

    QPoint RowCentre(int row) const { return m_list->visualItemRect(m_list->topLevelItem(row)).center(); }

    // What the platform sends when the pointer rests at pos of widget.
    static void Hover(QWidget* widget, const QPoint& pos)
    {
        QHelpEvent help(QEvent::ToolTip, pos, widget->mapToGlobal(pos));
        QApplication::sendEvent(widget, &help);
    }

    static bool TipGone()
    {
        return QTest::qWaitFor([] { return ShownTip() == nullptr; }, 3000);
    }

    QStringList TipOfRow(int row, QString* fault)
    {
        Hover(m_list->viewport(), RowCentre(row));
        QLabel* tip = nullptr;
        (void)QTest::qWaitFor([&tip] { return (tip = ShownTip()) != nullptr; }, 3000);
        if (tip == nullptr) {
            *fault = QStringLiteral("no tooltip for row %1").arg(row);
            return {};
        }
        return ShownBlocks(*tip, fault);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QGuiApplication::platformName() == QLatin1String("xcb"));
        qvd::timing().pollIntervalMs.store(10);
    }

    void cleanup()
    {
        QToolTip::hideText();
        (void)TipGone();
        // The next test's script is written only once no worker reads this one.
        if (m_window != nullptr) {
            (void)QTest::qWaitFor([this] { return !m_window->IsSearching(); }, 5000);
        }
        m_window.reset();
        m_list = nullptr;
        scriptGapMs.store(0, std::memory_order_relaxed); // relaxed: a setting
        qunsetenv("LANGUAGE");
    }

    void hostileTextShownAsSent_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("shown");
        QTest::newRow("image") << QByteArray("<img src=x>") << Latin("<img src=x>");
        QTest::newRow("link") << QByteArray("<a href=\"http://example.invalid/\">here</a>")
                              << Latin("<a href=\"http://example.invalid/\">here</a>");
        QTest::newRow("document") << QByteArray("<qt><b>bold</b><br>&nbsp;<hr></qt>")
                                  << Latin("<qt><b>bold</b><br>&nbsp;<hr></qt>");
        // References resolve as in the list, and what they make is shown as characters too.
        QTest::newRow("references") << QByteArray("&lt;img src=x&gt; &amp;lt; &#60;i&#62;")
                                    << Latin("<img src=x> &lt; <i>");
        QTest::newRow("127 characters") << QByteArray(200, 'W') << QString(127, QLatin1Char('W'));
        QTest::newRow("127 bytes, cut in a character")
            << QByteArray(126, 'e') + "\xc3\xa9" << QString(126, QLatin1Char('e')) + QChar(0xFFFD);
        QTest::newRow("blanks") << QByteArray("  two  spaces\tand a tab  ") << Latin("  two  spaces\tand a tab  ");
        QTest::newRow("controls") << QByteArray("a\x01z\x1b[31mred\x7f\x08") << Latin("a\x01z\x1b[31mred\x7f\x08");
        QTest::newRow("line ends") << QByteArray("one\rtwo\nthree\r\n")
                                   << Latin("one") + QChar(0x240D) + Latin("two") + QChar(0x240A) + Latin("three") +
                                          QChar(0x240D) + QChar(0x240A);
        QTest::newRow("unicode") << QByteArray("\xe6\x97\xa5\xe6\x9c\xac <\xd7\xa9>")
                                 << QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac <\xd7\xa9>");
    }

    // Every field carries the hostile text; the tip shows each exactly as the list would.
    void hostileTextShownAsSent()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, shown);
        // The maker's name is needed for the device to be listed; the hostile text follows it.
        const QByteArray manufacturer = QByteArray(Maker) + ' ' + sent;
        QVERIFY(Open({Record({sent, sent, sent, sent, manufacturer, sent, sent})}));
        // The list keeps the line ends as they came; the tip shows them as pictures.
        QString inList = shown;
        inList.replace(QChar(0x240D), QLatin1Char('\r')).replace(QChar(0x240A), QLatin1Char('\n'));
        QCOMPARE(m_list->GetItemText(0, 0), inList);
        // The long texts are all ASCII where the field cuts the manufacturer.
        const QString shownMaker = manufacturer.size() >= qvd::DeviceFieldSize
                                       ? QString::fromLatin1(manufacturer.left(qvd::DeviceFieldSize - 1))
                                       : Latin(Maker) + QLatin1Char(' ') + shown;
        QString fault;
        const QStringList blocks = TipOfRow(0, &fault);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(blocks, Expected(shown, {{Latin("Model name:"), shown},
                                          {Latin("Model number:"), shown},
                                          {Latin("Description:"), shown},
                                          {Latin("Manufacturer:"), shownMaker},
                                          {Latin("Web page:"), shown},
                                          {Latin("Device ID:"), shown}}));
    }

    void emptyFieldsLeftOut()
    {
        QVERIFY(Open({Record({"Office NAS", "QV-2", "", "", Maker, "", "uuid:office"})}));
        QString fault;
        QCOMPARE(TipOfRow(0, &fault), Expected(Latin("Office NAS"), {{Latin("Model name:"), Latin("QV-2")},
                                                                     {Latin("Manufacturer:"), Latin(Maker)},
                                                                     {Latin("Device ID:"), Latin("uuid:office")}}));
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // The labels speak the language the window speaks.
    void labelsInInterfaceLanguage_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("de") << QByteArray("de_DE")
                            << QStringList{QStringLiteral("Modellname:"),   QStringLiteral("Modellnummer:"),
                                           QStringLiteral("Beschreibung:"), QStringLiteral("Hersteller:"),
                                           QStringLiteral("Webseite:"),     QStringLiteral("Geräte-ID:")};
        QTest::newRow("ja") << QByteArray("ja_JP")
                            << QStringList{QStringLiteral("モデル名:"),   QStringLiteral("モデル番号:"),
                                           QStringLiteral("説明:"),       QStringLiteral("製造元:"),
                                           QStringLiteral("Web ページ:"), QStringLiteral("デバイス ID:")};
    }

    void labelsInInterfaceLanguage()
    {
        QFETCH(QByteArray, language);
        QFETCH(QStringList, labels);
        qputenv("LANGUAGE", language);
        QVERIFY(Open({Plain("nas")}));
        QString fault;
        const QStringList blocks = TipOfRow(0, &fault);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(blocks, Expected(Latin("nas"), {{labels[0], Latin("nas model")},
                                                 {labels[1], Latin("nas-1")},
                                                 {labels[2], Latin("nas description")},
                                                 {labels[3], Latin(Maker)},
                                                 {labels[4], Latin("http://nas/")},
                                                 {labels[5], Latin("uuid:nas")}}));
    }

    // Below the rows and on the header there is no tip; a row's tip goes when the pointer
    // rests on empty space.
    void noTipOffTheRows()
    {
        QVERIFY(Open({Plain("one"), Plain("two")}));
        const QPoint empty(40, m_list->viewport()->height() - 5);
        QVERIFY(m_list->itemAt(empty) == nullptr);
        Hover(m_list->viewport(), empty);
        QTest::qWait(400);
        QVERIFY(ShownTip() == nullptr);
        Hover(m_list->GetHeaderCtrl()->viewport(), QPoint(40, 13));
        QTest::qWait(400);
        QVERIFY(ShownTip() == nullptr);

        QString fault;
        QCOMPARE(TipOfRow(1, &fault).value(0), Latin("two"));
        Hover(m_list->viewport(), empty);
        QVERIFY(TipGone());
    }

    // Refresh empties the list: a tip that was up goes with its row.
    void tipGoesWhenListCleared()
    {
        QVERIFY(Open({Plain("one")}));
        QString fault;
        QCOMPARE(TipOfRow(0, &fault).value(0), Latin("one"));
        script = {Plain("again")};
        scriptGapMs.store(300, std::memory_order_relaxed); // relaxed: a setting
        // The handler of the Refresh button, without a click (which takes any tip down by itself).
        m_window->OnRefresh();
        QTRY_COMPARE_WITH_TIMEOUT(m_list->GetItemCount(), 0, 3000);
        QVERIFY(TipGone());
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsSearching(), 5000);
        QCOMPARE(TipOfRow(0, &fault).value(0), Latin("again"));
    }

    // Closing the window with a tip up is safe (the list's model empties while the list is
    // being destroyed) and leaves no tip behind.
    void tipGoesWithTheWindow()
    {
        QVERIFY(Open({Plain("one")}));
        QString fault;
        QCOMPARE(TipOfRow(0, &fault).value(0), Latin("one"));
        m_window.reset();
        QVERIFY(TipGone());
    }

    // A tip shows the details of the row under the pointer: rows appended below leave it as it
    // is; after the rows were reordered it shows the record of the row that is there now.
    void tipFollowsTheRowsRecord()
    {
        scriptGapMs.store(400, std::memory_order_relaxed); // relaxed: a setting
        script = {Plain("zulu"), Plain("alpha"), Plain("mike")};
        m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, ScriptWorker);
        m_window->move(200, 80);
        m_window->show();
        m_list = qobject_cast<CSkinListCtrl*>(m_window->ControlById(qvd::IdDeviceList));
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        // The first row and its record are in; the others are still to come.
        QTRY_VERIFY_WITH_TIMEOUT(m_window->RowToRecordTable()[0].load() >= 0, 3000);
        QCOMPARE(m_list->GetItemCount(), 1);
        QString fault;
        QCOMPARE(TipOfRow(0, &fault).value(2), Latin("zulu model"));
        QTRY_COMPARE_WITH_TIMEOUT(m_list->GetItemCount(), 3, 3000);
        QLabel* tip = ShownTip();
        QVERIFY(tip != nullptr);
        QVERIFY(tip->text().contains(QStringLiteral("zulu model")));
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsSearching(), 5000);

        m_list->sortItems(0, Qt::AscendingOrder);
        QCOMPARE(m_list->GetItemText(0, 0), Latin("alpha"));
        QVERIFY(TipGone());
        const QStringList expected{Latin("alpha model"), Latin("mike model"), Latin("zulu model")};
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(TipOfRow(row, &fault).value(2), expected[row]);
        }
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // The pointer itself, resting on a row: the platform asks for the tip.
    void pointerRestingOnRowShowsTip()
    {
        QVERIFY(Open({Record({"<img src=x>", "QV-4", "", "", Maker, "", ""})}));
        QTest::mouseMove(m_list->viewport(), RowCentre(0));
        QTRY_VERIFY_WITH_TIMEOUT(ShownTip() != nullptr, 5000);
        QString fault;
        QCOMPARE(ShownBlocks(*ShownTip(), &fault),
                 Expected(Latin("<img src=x>"),
                          {{Latin("Model name:"), Latin("QV-4")}, {Latin("Manufacturer:"), Latin(Maker)}}));
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        // Up onto the header: the tip goes, and none comes for the header.
        QTest::mouseMove(m_list->GetHeaderCtrl()->viewport(), QPoint(40, 13));
        QVERIFY(TipGone());
        QTest::qWait(1200);
        QVERIFY(ShownTip() == nullptr);
    }
};

QTEST_MAIN(TestDeviceToolTip)
#include "TestDeviceToolTip.moc"
