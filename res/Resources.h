// The program's compiled-in resources, addressed by their numbers: skin bitmaps, icons, the
// searching animation and the 21 string tables.
//
// Thread-safety: every function may be called from any thread (the Qt resources are read-only)
// except those noted; QImage/QByteArray results may be made on any thread, QIcon/QPixmap only on
// the UI thread. The forms that take the application's device pixel ratio (SkinBitmap(id),
// Icon) ask the screens for it, so they too belong to the UI thread; elsewhere pass the ratio.
// A string table is read and parsed when a text of its language is first asked for, under
// std::call_once, so concurrent first lookups parse it once and every caller sees it whole.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QString>
#include <limits>

namespace qvres {

// Every picture exists at pixel ratio 1 and, made for screens of twice the density, at 2.
// The ratio of the pictures that suit a device pixel ratio: 2 above 1 (a picture drawn
// smaller stays sharp, one drawn larger does not), else 1.
int PictureRatio(qreal devicePixelRatio);
// A skin bitmap (ids 200-245 and 260-539) for the application's device pixel ratio; a null
// image when the id does not exist. At ratio 2 it has twice the pixels each way and says so
// in its devicePixelRatio(), so that a painter draws it at the same logical size. Small
// pictures are decoded once and shared by every caller (a mutex guards the shared copies);
// callers that paint into the result get a copy of their own on write, as QImage always does.
QImage SkinBitmap(int id);
// The same for a given device pixel ratio.
QImage SkinBitmap(int id, qreal devicePixelRatio);
// The raw bytes of a typed resource, e.g. ("GIF", 540), at picture ratio 1 or 2; empty
// when missing.
QByteArray RawResource(const char* type, int id, int pictureRatio = 1);
// Icon 102 (the program) or a device icon 246-254, with all its sizes, and on a screen of
// twice the density each size also at twice its pixels; null when missing. With largestSize,
// only the sizes up to it: fewer pictures to decode where only the small ones are needed first.
QIcon Icon(int id, int largestSize = std::numeric_limits<int>::max());
// The files of an icon by size (for installing and for desktop entries), at picture ratio
// 1 or 2; empty when there is none.
QString IconFile(int id, int size, int pictureRatio = 1);
// The text of stringId in table languageId exactly as stored; empty when the table or the
// entry does not exist. No fallback here: the caller picks the table order.
QString TableString(int languageId, int stringId);
// The same for a named text ("credentials.title"), exactly as stored.
QString NamedTableString(int languageId, const QString& name);
// Whether table languageId has the named text (an empty one counts).
bool HasNamedTableString(int languageId, const QString& name);
bool HasStringTable(int languageId);
// The language ids of the 21 tables.
QList<int> StringTableIds();
// The languages whose table has been read so far, in table order (start-up checks and tests).
QList<int> LoadedStringTables();

} // namespace qvres
