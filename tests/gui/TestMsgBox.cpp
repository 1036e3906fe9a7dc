// The skinned message box: what each kind shows, its layout and colours, and how it closes.
// Its shape and dragging are SkinDialog's, tested with the main window and in TestSkinWindow.

#include "CMsgBox.h"
#include "CxSkinButton.h"
#include "Language.h"
#include "ModalWatcher.h"
#include "Resources.h"

#include <QLabel>
#include <QtTest>

namespace {

bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
           std::abs(a.blue() - b.blue()) <= 8;
}

} // namespace

class TestMsgBox : public QObject
{
    Q_OBJECT

private slots:
    void kinds_data();
    void kinds();
    void layoutFontsAndColours();
    void closesByOkEnterAndEscape_data();
    void closesByOkEnterAndEscape();
};

void TestMsgBox::kinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("givenTitle");
    QTest::addColumn<QString>("givenText");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("background");
    const QString mapped = QStringLiteral("Successfully mapped drive.");
    const QString none = LoadStringFor(1033, 130);
    const QString own = QStringLiteral("Mapped to K:");
    const auto row = [](const char* tag, int kind, const char* givenTitle, const QString& givenText,
                        const QString& title, const QString& text, int background) {
        QTest::newRow(tag) << kind << QString::fromUtf8(givenTitle) << givenText << title << text << background;
    };
    row("success", 0, "", "", "Success", mapped, 231);
    row("success ignores a title", 0, "Mine", own, "Success", own, 231);
    row("error", 1, "", "", "Error", "Failed to map drive.", 232);
    row("error with text", 1, "Mine", "It broke.", "Error", "It broke.", 232);
    row("no device", 2, "", "", "", none, 233);
    row("no device keeps the title", 2, "Search", "", "Search", none, 233);
    row("kind 7 is a success", 7, "", "", "Success", mapped, 231);
    row("negative kind is a success", -1, "", "", "Success", mapped, 231);
}

void TestMsgBox::kinds()
{
    QFETCH(int, kind);
    QFETCH(QString, givenTitle);
    QFETCH(QString, givenText);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, background);
    qputenv("LC_TIME", "ja_JP.UTF-8"); // the picture never follows the regional locale
    CMsgBox box;
    box.kind = kind;
    box.title = givenTitle;
    box.text = givenText;
    ModalWatcher watcher;
    box.exec();
    qunsetenv("LC_TIME");
    QCOMPARE(watcher.seen, QStringList{QStringLiteral("CMsgBox")});
    QCOMPARE(watcher.lastTexts.value(QStringLiteral("titleLabel")), title);
    QCOMPARE(watcher.lastTexts.value(QStringLiteral("textLabel")), text);
    QCOMPARE(box.BackgroundId(), background);
    box.grab(); // the box may have been answered before its first paint
    QCOMPARE(box.BackgroundBitmap(), qvres::SkinBitmap(background));
}

void TestMsgBox::layoutFontsAndColours()
{
    CMsgBox box;
    box.kind = KindError;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.size(), QSize(585, 218));
    QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
    auto* ok = box.findChild<CxSkinButton*>(QStringLiteral("okButton"));
    auto* title = box.findChild<QLabel*>(QStringLiteral("titleLabel"));
    auto* text = box.findChild<QLabel*>(QStringLiteral("textLabel"));
    QCOMPARE(ok->geometry(), QRect(442, 164, 110, 33));
    QCOMPARE(title->geometry(), QRect(99, 28, 150, 35));
    QCOMPARE(text->geometry(), QRect(34, 91, 511, 61));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(ok->TextColor(), QColor(193, 193, 193));
    QCOMPARE(title->palette().color(QPalette::WindowText), QColor(255, 146, 26));
    QCOMPARE(text->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(title->font().family(), QStringLiteral("Arial"));
    for (const auto& [widget, cellHeight] : {std::pair<QWidget*, int>{title, 32}, {text, 20}, {ok, 18}}) {
        QVERIFY(std::abs(QFontMetrics(widget->font()).height() - cellHeight) <= 1);
    }
    QVERIFY(ok->hasFocus());

    // The title is drawn in orange straight on the picture: some pixels orange, most the picture.
    const QImage shot = box.grab().toImage();
    const QImage picture = qvres::SkinBitmap(232);
    int orange = 0;
    int pictureLike = 0;
    for (int y = title->y(); y <= title->geometry().bottom(); ++y) {
        for (int x = title->x(); x <= title->geometry().right(); ++x) {
            orange += near(shot.pixelColor(x, y), QColor(255, 146, 26)) ? 1 : 0;
            pictureLike += near(shot.pixelColor(x, y), picture.pixelColor(x, y)) ? 1 : 0;
        }
    }
    QVERIFY2(orange > 20, qPrintable(QString::number(orange)));
    QVERIFY(pictureLike > title->width() * title->height() / 2);
}

void TestMsgBox::closesByOkEnterAndEscape_data()
{
    QTest::addColumn<int>("key"); // 0: a click on OK
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << 0 << int(QDialog::Accepted);
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(QDialog::Accepted);
    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(QDialog::Rejected);
}

void TestMsgBox::closesByOkEnterAndEscape()
{
    QFETCH(int, key);
    QFETCH(int, result);
    CMsgBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    auto* ok = box.findChild<CxSkinButton*>(QStringLiteral("okButton"));
    if (key == 0) {
        QTest::mouseClick(ok, Qt::LeftButton);
    } else {
        QTest::keyClick(ok, Qt::Key(key));
    }
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), result);
}

QTEST_MAIN(TestMsgBox)
#include "TestMsgBox.moc"
