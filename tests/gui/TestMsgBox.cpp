// The skinned message box: what each kind shows, its colours and picture, and how it closes.

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
    void pictureIsTheKindsAndNeutral();
    void closesByOkEnterAndEscape_data();
    void closesByOkEnterAndEscape();
    void shapedAndDraggable();
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
    const QString failed = QStringLiteral("Failed to map drive.");
    const QString none = LoadStringFor(1033, 130);
    QTest::newRow("success") << 0 << ""
                             << ""
                             << "Success" << mapped << 231;
    QTest::newRow("success keeps its title") << 0 << "Mine"
                                             << ""
                                             << "Success" << mapped << 231;
    QTest::newRow("success with text") << 0 << ""
                                       << "Successfully mapped drive to K:"
                                       << "Success"
                                       << "Successfully mapped drive to K:" << 231;
    QTest::newRow("error") << 1 << ""
                           << ""
                           << "Error" << failed << 232;
    QTest::newRow("error with text") << 1 << "Mine"
                                     << "It broke."
                                     << "Error"
                                     << "It broke." << 232;
    QTest::newRow("no device") << 2 << ""
                               << ""
                               << "" << none << 233;
    QTest::newRow("no device keeps the creator's title") << 2 << "Search"
                                                         << ""
                                                         << "Search" << none << 233;
    QTest::newRow("kind 7 is a success") << 7 << ""
                                         << ""
                                         << "Success" << mapped << 231;
    QTest::newRow("negative kind is a success") << -1 << ""
                                                << ""
                                                << "Success" << mapped << 231;
}

void TestMsgBox::kinds()
{
    QFETCH(int, kind);
    QFETCH(QString, givenTitle);
    QFETCH(QString, givenText);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, background);
    CMsgBox box;
    box.kind = kind;
    box.title = givenTitle;
    box.text = givenText;
    ModalWatcher watcher;
    box.exec();
    QCOMPARE(watcher.seen, QStringList{QStringLiteral("CMsgBox")});
    QCOMPARE(watcher.lastTexts.value(QStringLiteral("titleLabel")), title);
    QCOMPARE(watcher.lastTexts.value(QStringLiteral("textLabel")), text);
    QCOMPARE(box.BackgroundId(), background);
    box.grab(); // the box may have been answered before its first paint
    QCOMPARE(box.BackgroundBitmap().size(), QSize(585, 218));
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
    QVERIFY(std::abs(QFontMetrics(title->font()).height() - 32) <= 1);
    QVERIFY(std::abs(QFontMetrics(text->font()).height() - 20) <= 1);
    QVERIFY(std::abs(QFontMetrics(ok->font()).height() - 18) <= 1);
    QCOMPARE(title->font().family(), QStringLiteral("Arial"));
    QVERIFY(ok->hasFocus());

    // The title is drawn in orange straight on the picture: some of its pixels are orange and
    // the rest of its rectangle is the picture.
    const QImage shot = box.grab().toImage();
    const QImage picture = qvres::SkinBitmap(232);
    int orange = 0;
    int pictureLike = 0;
    for (int y = title->y(); y < title->y() + title->height(); ++y) {
        for (int x = title->x(); x < title->x() + title->width(); ++x) {
            const QColor got = shot.pixelColor(x, y);
            orange += near(got, QColor(255, 146, 26)) ? 1 : 0;
            pictureLike += near(got, picture.pixelColor(x, y)) ? 1 : 0;
        }
    }
    QVERIFY2(orange > 20, qPrintable(QString::number(orange)));
    QVERIFY(pictureLike > title->width() * title->height() / 2);
}

void TestMsgBox::pictureIsTheKindsAndNeutral()
{
    // The box's picture never follows the locale.
    qputenv("LC_ALL", "ja_JP.UTF-8");
    CMsgBox box;
    box.kind = KindNoDevice;
    const QImage shot = box.grab().toImage();
    qunsetenv("LC_ALL");
    const QImage picture = qvres::SkinBitmap(233);
    QCOMPARE(box.BackgroundId(), 233);
    for (const QPoint p : {QPoint(20, 20), QPoint(560, 10), QPoint(300, 200), QPoint(100, 170)}) {
        QVERIFY2(near(shot.pixelColor(p), picture.pixelColor(p)),
                 qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));
    }
}

void TestMsgBox::closesByOkEnterAndEscape_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << 0 << int(QDialog::Accepted);
    QTest::newRow("Enter") << 1 << int(QDialog::Accepted);
    QTest::newRow("Escape") << 2 << int(QDialog::Rejected);
}

void TestMsgBox::closesByOkEnterAndEscape()
{
    QFETCH(int, how);
    QFETCH(int, result);
    CMsgBox box;
    QTimer::singleShot(0, &box, [&box, how] {
        auto* ok = box.findChild<CxSkinButton*>(QStringLiteral("okButton"));
        if (how == 0) {
            QTest::mouseClick(ok, Qt::LeftButton);
        } else {
            QTest::keyClick(ok, how == 1 ? Qt::Key_Return : Qt::Key_Escape);
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &box, [&box] { box.done(99); });
    guard.start(3000);
    QCOMPARE(box.exec(), result);
}

void TestMsgBox::shapedAndDraggable()
{
    CMsgBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY(!box.mask().contains(QPoint(0, 0)));
    QVERIFY(box.mask().contains(QPoint(0, 8)));
    QVERIFY(box.mask().contains(QPoint(584, 209)));
    box.move(50, 50);
    const QPoint start = box.pos();
    const QPoint from(300, 20);
    QTest::mousePress(&box, Qt::LeftButton, {}, from);
    QMouseEvent moveEvent(QEvent::MouseMove, QPointF(from + QPoint(15, 5)),
                          QPointF(box.mapToGlobal(from) + QPoint(15, 5)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&box, &moveEvent);
    QTest::mouseRelease(&box, Qt::LeftButton, {}, from + QPoint(15, 5));
    QTRY_COMPARE(box.pos(), start + QPoint(15, 5));
}

QTEST_MAIN(TestMsgBox)
#include "TestMsgBox.moc"
