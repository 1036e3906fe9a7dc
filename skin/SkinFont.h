// Font sizing shared by every window and control of the program.
//
// Thread-safety: builds a QFont and measures it; call on the UI thread (font metrics use the
// application's font database).
#pragma once

#include <QFont>
#include <QString>

// A normal-weight face whose cell height (ascent plus descent) is cellHeight pixels, as the
// skin's font heights are meant: a font's pixel size in Qt is its em height, which is smaller
// than the cell by the face's internal leading.
QFont CellHeightFont(const QString& family, int cellHeight);
