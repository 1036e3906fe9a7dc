// The skinned message box: what each kind shows, its layout and colours, and how it closes.
// Its shape and dragging are SkinDialog's, tested with the main window and in TestSkinWindow.

#include "CMsgBox.h"
#include "CxSkinButton.h"
#include "Language.h"
#include "ModalWatcher.h"
#include "Resources.h"

#include <QLabel>
#include <QtTest>

class TestMsgBox : public QObject
{
    Q_OBJECT

private slots:
    void kinds();
    void layoutFontsAndColours();
    void closesByOkEnterAndEscape();
};

void TestMsgBox::kinds()
{
    const QString none = LoadStringFor(1033, 130);
    const struct
    {
        int kind;
        QString givenTitle, givenText, title, text;
        int background;
    } rows[] = {{KindSuccess, "", "", "Success", "Successfully mapped drive.", 231},
                {KindSuccess, "Mine", "Mapped to K:", "Success", "Mapped to K:", 231}, // the title is the kind's
                {KindError, "", "", "Error", "Failed to map drive.", 232},
                {KindError, "Mine", "It broke.", "Error", "It broke.", 232},
                {KindNoDevice, "", "", "", none, 233},
                {KindNoDevice, "Search", "", "Search", none, 233}, // this kind keeps a given title
                {-1, "", "", "Success", "Successfully mapped drive.", 231}};
    qputenv("LC_TIME", "ja_JP.UTF-8"); // the picture never follows the regional locale
    for (const auto& row : rows) {
        CMsgBox box;
        box.kind = row.kind;
        box.title = row.givenTitle;
        box.text = row.givenText;
        ModalWatcher watcher;
        box.exec();
        QCOMPARE(watcher.seen, QStringList{QStringLiteral("CMsgBox")});
        QCOMPARE(watcher.lastTexts.value(QStringLiteral("titleLabel")), row.title);
        QCOMPARE(watcher.lastTexts.value(QStringLiteral("textLabel")), row.text);
        QCOMPARE(box.BackgroundId(), row.background);
        box.grab(); // the box may have been answered before its first paint
        QCOMPARE(box.BackgroundBitmap(), qvres::SkinBitmap(row.background));
    }
    qunsetenv("LC_TIME");
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
    QCOMPARE(text->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(title->font().family(), QStringLiteral("Arial"));
    for (const auto& [widget, cellHeight] : {std::pair<QWidget*, int>{title, 32}, {text, 20}, {ok, 18}})
        QVERIFY(std::abs(QFontMetrics(widget->font()).height() - cellHeight) <= 1);
    QVERIFY(ok->hasFocus());
    // A box that opens gives its OK button the focus without the keyboard: no focus frame.
    const QImage okFace = ok->grab().toImage();
    for (int x = 0; x < okFace.width(); ++x) {
        QVERIFY(okFace.pixelColor(x, 3) != ok->TextColor());
    }

    // The title is drawn in orange straight on the picture: some pixels orange, most the picture.
    const QImage shot = box.grab().toImage();
    const QImage picture = qvres::SkinBitmap(232);
    const auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
               std::abs(a.blue() - b.blue()) <= 8;
    };
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

    // The message is drawn in white straight on the dark panel of the picture.
    int white = 0;
    pictureLike = 0;
    for (int y = text->y(); y <= text->geometry().bottom(); ++y) {
        for (int x = text->x(); x <= text->geometry().right(); ++x) {
            white += shot.pixelColor(x, y) == QColor(Qt::white) ? 1 : 0;
            pictureLike += near(shot.pixelColor(x, y), picture.pixelColor(x, y)) ? 1 : 0;
            QVERIFY(!near(shot.pixelColor(x, y), QColor(255, 146, 26))); // nothing in the title's colour
        }
    }
    QVERIFY2(white > 100, qPrintable(QString::number(white)));
    QVERIFY(pictureLike > text->width() * text->height() / 2);
}

void TestMsgBox::closesByOkEnterAndEscape()
{
    // Key 0: a click on OK.
    for (const auto& [key, result] : {std::pair{0, int(QDialog::Accepted)},
                                      {int(Qt::Key_Return), int(QDialog::Accepted)},
                                      {int(Qt::Key_Escape), int(QDialog::Rejected)}}) {
        CMsgBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        auto* ok = box.findChild<CxSkinButton*>(QStringLiteral("okButton"));
        if (key == 0)
            QTest::mouseClick(ok, Qt::LeftButton);
        else
            QTest::keyClick(ok, Qt::Key(key));
        QVERIFY(!box.isVisible());
        QCOMPARE(box.result(), result);
    }
}

QTEST_MAIN(TestMsgBox)
#include "TestMsgBox.moc"
