// Shared drawing of the skin: colours, fonts, the logo, the word mark, panels and button
// faces. All sizes and coordinates are in pixels of the design scale; the pictures are made
// at the current pixel ratio (1, or 2 for screens of twice the density), with that many
// device pixels per design pixel, so that every shape and letter is drawn at the higher
// resolution instead of being scaled up afterwards.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>

namespace resgen {

namespace colour {
inline const QColor Frame{22, 22, 22};        // the near-black window frame
inline const QColor Edge{72, 72, 72};         // one-pixel rim along the stepped outline
inline const QColor Panel{59, 59, 59};        // dark panels and the list background
inline const QColor PanelLight{84, 84, 84};   // top rim of a panel
inline const QColor Well{34, 34, 34};         // line around a list area
inline const QColor ScrollBack{38, 38, 38};   // behind the list scroll bar
inline const QColor Orange{255, 146, 26};     // titles and accents
inline const QColor DeepOrange{255, 132, 0};  // selection and pressed faces
inline const QColor Caption{193, 193, 193};   // grey text and symbols
inline const QColor LabelGrey{145, 145, 145}; // quiet text
} // namespace colour

// "Arial" is drawn with its metric twin; scripts it lacks fall back to the Noto faces that
// suit the language (the CJK faces differ per language in their glyph shapes).
QFont UiFont(qreal pixelSize, bool bold = false, int languageId = 1033);

// The pixel ratio of the pictures made from here on (1 unless changed).
void SetPixelRatio(int ratio);
int PixelRatio();

// An opaque 24-bit picture of size design pixels at the current ratio, filled with one
// colour; a painter on it draws in design pixels.
QImage OpaqueImage(QSize size, const QColor& fill);

// The rectangle of a picture in design pixels.
QRect LogicalRect(const QImage& image);

// Fills the whole picture with the frame colour and draws a rim along the outline that the
// window region cuts (corners losing 8, 6, 4, 3, 2, 2, 1, 1 pixels).
void PaintFrame(QImage& image);

// The maker's mark: an orange rounded square with a stack of three white storage trays.
void PaintLogo(QPainter& painter, const QRectF& box, bool detail = true);

// "QV Link" with "QV" in orange, left end of the base line at origin.
void PaintWordmark(QPainter& painter, QPointF baseLineStart, qreal pixelSize);

void PaintPanel(QPainter& painter, const QRectF& box);

// A list area (list plus the 24-pixel scroll bar at its right edge) framed by a thin well,
// with the header line along its top.
void PaintListWell(QPainter& painter, const QRect& list);

// Face of a push button without text; the corners show surround.
QImage ButtonFace(QSize size, bool orange, const QColor& surround = colour::Panel);

// The header background as the list header draws it: a soft vertical gradient with an
// orange line at the bottom.
void PaintHeaderStrip(QPainter& painter, const QRect& box);

// Draws text on one line inside box, shrinking the font (down to minPixelSize) until it
// fits; returns the pixel size used.
int DrawFittedText(QPainter& painter, const QRectF& box, const QString& text, QFont font, int flags, int minPixelSize);

} // namespace resgen
