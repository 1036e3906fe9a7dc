// The skin bitmaps: the language-neutral catalogue 200-245 and the About picture of each
// per-language block.
#pragma once

#include "StringTableFormat.h"

#include <QImage>
#include <QMap>

namespace resgen {

// Every neutral bitmap, by id, at its catalogue size. The About picture 230 takes its texts
// from the US English table.
QMap<int, QImage> NeutralBitmaps(const qvres::StringTable& usEnglish);

// An About box background (585 x 218) with the title (string 111), the copyright line and
// the "Version:" label (string 112) of one language. The label ends left of x = 103 on the
// base line of the version text that the box writes there.
QImage AboutPicture(const qvres::StringTable& strings, int languageId);

// The message box backgrounds: 231/232 carry the logo, 233 also the product name.
QImage MessagePicture(bool withProductName);

QImage MainBackground();

} // namespace resgen
