// The desktop entry's menu texts against the string tables: each translated key carries the
// text of the table that the program itself chooses for that locale, every table's texts are
// there once, and the tables' extra lines stay invisible to the program.
#include "Language.h"
#include "Resources.h"
#include "StringTableFormat.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

const QStringList MenuKeys{QStringLiteral("GenericName"), QStringLiteral("Comment")};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "Key" or "Key[locale]" to value, for the menu keys of the entry.
QHash<QString, QString> EntryTexts()
{
    QHash<QString, QString> texts;
    static const QRegularExpression line(QStringLiteral("^(GenericName|Comment)(\\[([A-Za-z_@]+)\\])?=(.*)$"));
    for (const QString& text : QString::fromUtf8(ReadAll(QStringLiteral(QVD_DESKTOP_ENTRY))).split(QLatin1Char('\n'))) {
        if (const QRegularExpressionMatch match = line.match(text); match.hasMatch()) {
            const QString key = match.captured(1) + match.captured(2);
            if (texts.contains(key)) {
                texts.insert(QStringLiteral("duplicate"), key);
            }
            texts.insert(key, match.captured(4));
        }
    }
    return texts;
}

// The menu key's text of one table, read the way a translator wrote it.
QString TableMenuText(int table, const QString& key)
{
    const QByteArray content = ReadAll(QStringLiteral(QVD_STRING_TABLES "/%1.ini").arg(table));
    const QRegularExpression line(QStringLiteral("^\\s*%1\\s*=\\s*(.*\\S)\\s*$").arg(key));
    QString found;
    for (const QString& text : QString::fromUtf8(content).split(QLatin1Char('\n'))) {
        if (const QRegularExpressionMatch match = line.match(text); match.hasMatch()) {
            found = match.captured(1);
        }
    }
    return found;
}

// The table the program's texts come from for a locale: the exact id, its primary language,
// then US English.
int TableForLocale(const QString& locale)
{
    const int id = LanguageIdFromLocaleName(locale.toUtf8());
    if (qvres::HasStringTable(id)) {
        return id;
    }
    if (qvres::HasStringTable(id & 0x3FF)) {
        return id & 0x3FF;
    }
    return 1033;
}

} // namespace

class TestDesktopEntry : public QObject
{
    Q_OBJECT

private slots:
    void everyTableTranslatesTheMenu();
    void localesMatchTheProgramsChoice();
    void menuLinesAreNotProgramTexts();
};

void TestDesktopEntry::everyTableTranslatesTheMenu()
{
    const QList<int> tables = qvres::StringTableIds();
    QCOMPARE(tables.size(), 21);
    for (int table : tables) {
        for (const QString& key : MenuKeys) {
            const QString text = TableMenuText(table, key);
            QVERIFY2(!text.isEmpty(), qPrintable(QStringLiteral("%1 lacks %2").arg(table).arg(key)));
            QVERIFY2(!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('\\')),
                     qPrintable(QStringLiteral("%1/%2 holds a list or escape character").arg(table).arg(key)));
        }
    }
    const QHash<QString, QString> texts = EntryTexts();
    QVERIFY2(!texts.contains(QStringLiteral("duplicate")), qPrintable(texts.value(QStringLiteral("duplicate"))));
    // One untranslated key and one per other table.
    QCOMPARE(texts.size(), MenuKeys.size() * tables.size());
    for (const QString& key : MenuKeys) {
        QCOMPARE(texts.value(key), TableMenuText(1033, key));
    }
}

void TestDesktopEntry::localesMatchTheProgramsChoice()
{
    const QHash<QString, QString> texts = EntryTexts();
    static const QRegularExpression localized(QStringLiteral("^(\\w+)\\[(\\w+)\\]$"));
    QHash<QString, QSet<int>> covered;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        const QRegularExpressionMatch match = localized.match(it.key());
        if (!match.hasMatch()) {
            continue;
        }
        const QString key = match.captured(1);
        const int table = TableForLocale(match.captured(2));
        QVERIFY2(table != 1033, qPrintable(it.key() + QStringLiteral(" is a locale the program shows in English")));
        QVERIFY2(!covered[key].contains(table), qPrintable(it.key() + QStringLiteral(" repeats a table")));
        covered[key].insert(table);
        QCOMPARE(it.value(), TableMenuText(table, key));
    }
    const QList<int> tables = qvres::StringTableIds();
    QSet<int> others(tables.cbegin(), tables.cend());
    others.remove(1033);
    for (const QString& key : MenuKeys) {
        QCOMPARE(covered.value(key), others);
    }
}

void TestDesktopEntry::menuLinesAreNotProgramTexts()
{
    QList<int> programIds{101};
    for (int id = 110; id <= 132; ++id) {
        programIds.append(id);
    }
    for (int table : qvres::StringTableIds()) {
        QList<int> ids =
            qvres::ParseStringTable(ReadAll(QStringLiteral(QVD_STRING_TABLES "/%1.ini").arg(table))).keys();
        std::sort(ids.begin(), ids.end());
        QCOMPARE(ids, programIds);
    }
}

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "TestDesktopEntry.moc"
