// The program's compiled-in resources, addressed by their numbers: skin bitmaps, icons, the
// searching animation and the 21 string tables.
//
// Thread-safety: every function may be called from any thread (the Qt resources are read-only);
// QImage/QByteArray results may be made on any thread, QIcon/QPixmap only on the UI thread.
// A string table is read and parsed when a text of its language is first asked for, under
// std::call_once, so concurrent first lookups parse it once and every caller sees it whole.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QString>

namespace qvres {

// A skin bitmap (ids 200-245 and 260-539); a null image when the id does not exist. Small
// pictures are decoded once and shared by every caller (a mutex guards the shared copies);
// callers that paint into the result get a copy of their own on write, as QImage always does.
QImage SkinBitmap(int id);
// The raw bytes of a typed resource, e.g. ("GIF", 540); empty when missing.
QByteArray RawResource(const char* type, int id);
// Icon 102 (the program) or a device icon 246-254, with all its sizes; null when missing.
QIcon Icon(int id);
// The files of an icon by size (for installing and for desktop entries).
QString IconFile(int id, int size);
// The text of stringId in table languageId exactly as stored; empty when the table or the
// entry does not exist. No fallback here: the caller picks the table order.
QString TableString(int languageId, int stringId);
bool HasStringTable(int languageId);
// The language ids of the 21 tables.
QList<int> StringTableIds();
// The languages whose table has been read so far, in table order (start-up checks and tests).
QList<int> LoadedStringTables();

} // namespace qvres
