// The text format of the string tables, shared by the program and the resource generator:
// UTF-8 lines "id = text"; '#' or ';' starts a comment line; in a text "\n" is a line break
// and "\\" a backslash. Blanks around the id and the text are ignored. Besides the numbered
// texts a table carries named ones, "name = text", where a name is a letter followed by
// letters, digits, '.' and '_' ("credentials.title").
//
// Thread-safety: pure functions.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace qvres {

using StringTable = QHash<int, QString>;
using NamedStringTable = QHash<QString, QString>;

// Lines without a numeric id before '=' are skipped, so one damaged line never shifts or
// drops the entries around it. A repeated id keeps its last text.
StringTable ParseStringTable(const QByteArray& utf8);
// The named texts of a table, by the same rules: a line whose name is not a name is skipped,
// a repeated name keeps its last text.
NamedStringTable ParseNamedStrings(const QByteArray& utf8);

} // namespace qvres
