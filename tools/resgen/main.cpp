// qvlink-resgen OUTDIR [--ratios LIST] [--sheet FILE]
//
// Paints the skin bitmaps, icons and the searching animation into OUTDIR (the res/ folder
// of the source tree), reading the About texts from OUTDIR/strings/<language>.ini. Each
// picture is made once per pixel ratio in LIST (default "1,2"): the ratio-1 files under
// their plain names, the ratio-2 ones beside them with "@2x" before the extension. With
// --sheet it also writes a contact sheet of everything it made at the last ratio, for
// looking at.
#include "DeviceIcons.h"
#include "GifWriter.h"
#include "Painting.h"
#include "SkinPictures.h"
#include "Spinner.h"
#include "StringTableFormat.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <array>
#include <cstdio>

namespace {

// The About text language of each per-language block k (offset 31 + 14k of the locale
// table), in block order.
constexpr std::array BlockLanguages{1028, 1,  1029, 19,   12,   7,    1037, 1038, 16, 1041,
                                    1042, 20, 1045, 1046, 2070, 1049, 2052, 10,   29, 1055};
constexpr int FirstBlockId = 260;
constexpr int BlockSize = 14;
constexpr int AnimationId = 540;

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writeImage(const QString& path, const QImage& image)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// A missing table would give About pictures without text, so it fails the run.
qvres::StringTable readTable(const QString& dir, int languageId, bool& ok)
{
    QFile file(QStringLiteral("%1/strings/%2.ini").arg(dir).arg(languageId));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "missing string table %s\n", qPrintable(file.fileName()));
        ok = false;
        return {};
    }
    return qvres::ParseStringTable(file.readAll());
}

// "bitmaps/229.png" at ratio 1, "bitmaps/229@2x.png" at ratio 2.
QString fileName(const QString& dir, const QString& stem, const char* extension, int ratio)
{
    const QString suffix = ratio > 1 ? QStringLiteral("@%1x").arg(ratio) : QString();
    return QStringLiteral("%1/%2%3.%4").arg(dir, stem, suffix, QLatin1String(extension));
}

// Every picture on a dark sheet with its id under it.
QImage contactSheet(const QMap<int, QImage>& pictures, int ratio)
{
    constexpr int Width = 1800;
    constexpr int Gap = 14;
    constexpr int LabelHeight = 16;
    QList<QRect> places;
    int x = Gap;
    int y = Gap;
    int rowHeight = 0;
    for (const QImage& image : pictures) {
        const QSize size = image.deviceIndependentSize().toSize().expandedTo(QSize(40, 1));
        if (x + size.width() + Gap > Width) {
            x = Gap;
            y += rowHeight + LabelHeight + Gap;
            rowHeight = 0;
        }
        places.append(QRect(QPoint(x, y), size));
        x += size.width() + Gap;
        rowHeight = qMax(rowHeight, size.height());
    }
    QImage sheet(QSize(Width, y + rowHeight + LabelHeight + Gap) * ratio, QImage::Format_RGB32);
    sheet.setDevicePixelRatio(ratio);
    sheet.fill(QColor(110, 110, 120));
    QPainter p(&sheet);
    p.setFont(resgen::UiFont(11));
    p.setPen(Qt::white);
    int i = 0;
    for (auto it = pictures.cbegin(); it != pictures.cend(); ++it, ++i) {
        const QRect place = places[i];
        p.drawImage(place.topLeft(), it.value());
        p.drawText(QRect(place.left(), place.bottom() + 2, qMax(place.width(), 60), LabelHeight),
                   Qt::AlignLeft | Qt::AlignTop, QString::number(it.key()));
    }
    return sheet;
}

// The main window and an About box as a person would see them, with the buttons and texts
// that the program puts over the background; only for the contact sheet.
QImage mockMainWindow(const QMap<int, QImage>& pictures, const qvres::StringTable& text)
{
    QImage window = pictures.value(229).copy();
    QPainter p(&window);
    p.setRenderHint(QPainter::TextAntialiasing);
    const auto face = [&](int id, int x, int y, const QString& caption) {
        p.drawImage(x, y, pictures.value(id));
        p.setFont(resgen::UiFont(15.5));
        p.setPen(resgen::colour::Caption);
        const QSize size = pictures.value(id).deviceIndependentSize().toSize();
        p.drawText(QRect(x + 2, y, size.width() - 4, size.height() - 2), Qt::AlignCenter, caption);
    };
    p.drawImage(411, 9, pictures.value(224));
    p.drawImage(438, 9, pictures.value(225));
    p.drawImage(465, 9, pictures.value(227));
    face(244, 26, 268, text.value(131));
    face(235, 250, 268, text.value(125));
    face(236, 364, 268, text.value(126));
    face(238, 250, 530, text.value(127));
    face(240, 364, 530, text.value(132));
    p.setPen(Qt::white);
    p.setFont(resgen::UiFont(21));
    p.drawText(QRect(28, 86, 231, 24), Qt::AlignLeft | Qt::AlignVCenter, text.value(113));
    p.drawText(QRect(28, 329, 194, 28), Qt::AlignLeft | Qt::AlignVCenter, text.value(116));
    p.setFont(resgen::UiFont(14));
    p.drawText(QRect(37, 119, 200, 26), Qt::AlignLeft | Qt::AlignVCenter, text.value(114));
    p.drawText(QRect(252, 119, 200, 26), Qt::AlignLeft | Qt::AlignVCenter, text.value(115));
    p.drawImage(448, 119, pictures.value(201));
    p.drawImage(244, 119, pictures.value(201));
    p.setPen(resgen::colour::Caption);
    p.drawText(QPointF(37, 162), QStringLiteral("Living Room Storage"));
    p.drawText(QPointF(252, 162), QStringLiteral("192.168.1.20"));
    p.setPen(QColor(145, 145, 145));
    p.drawText(QRect(30, 508, 212, 19), Qt::AlignLeft | Qt::AlignVCenter, text.value(119));
    p.fillRect(QRect(28, 532, 194, 24), QColor(240, 240, 240));
    p.drawImage(458, 145, pictures.value(214));
    p.drawImage(458, 239, pictures.value(216));
    for (int y = 157; y < 239; y += 2)
        p.drawImage(458, y, pictures.value(212));
    p.drawImage(458, 157, pictures.value(211));
    return window;
}

QImage mockAboutBox(const QImage& background)
{
    QImage box = background.copy();
    QPainter p(&box);
    p.setFont(resgen::UiFont(17.5));
    p.setPen(Qt::white);
    p.drawText(QRect(103, 143, 291, 21), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("1.00.01"));
    return box;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const auto usage = [] {
        std::fprintf(stderr, "usage: qvlink-resgen OUTDIR [--ratios 1,2] [--sheet FILE]\n");
        return 2;
    };
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-')))
        return usage();
    const QString out = args.first();
    const qsizetype sheetAt = args.indexOf(QStringLiteral("--sheet"));
    const QString sheetPath = sheetAt > 0 ? args.value(sheetAt + 1) : QString();
    const qsizetype ratiosAt = args.indexOf(QStringLiteral("--ratios"));
    QList<int> ratios{1, 2};
    if (ratiosAt > 0) {
        ratios.clear();
        for (const QString& item : args.value(ratiosAt + 1).split(QLatin1Char(','))) {
            const int ratio = item.toInt();
            if (ratio != 1 && ratio != 2)
                return usage();
            ratios.append(ratio);
        }
    }

    bool ok = true;
    QMap<int, QImage> pictures;
    QMap<int, QImage> sheetIcons;
    QByteArray gif;
    for (int ratio : ratios) {
        resgen::SetPixelRatio(ratio);
        pictures = resgen::NeutralBitmaps(readTable(out, 1033, ok));
        for (size_t k = 0; k < BlockLanguages.size(); ++k) {
            const int language = BlockLanguages[k];
            pictures[FirstBlockId + BlockSize * static_cast<int>(k) + 1] =
                resgen::AboutPicture(readTable(out, language, ok), language);
        }
        for (auto it = pictures.cbegin(); it != pictures.cend(); ++it)
            ok = writeImage(fileName(out, QStringLiteral("bitmaps/%1").arg(it.key()), "png", ratio), it.value()) && ok;

        sheetIcons.clear();
        for (int id : resgen::IconIds) {
            for (int size : resgen::IconSizes) {
                const QImage icon = resgen::IconImage(id, size, ratio);
                ok = writeImage(fileName(out, QStringLiteral("icons/%1/%2").arg(id).arg(size), "png", ratio), icon) &&
                     ok;
                if (size == 128 || size == 48 || size == 16)
                    sheetIcons[id * 1000 + size] = icon;
            }
        }

        gif = resgen::EncodeGif(resgen::SpinnerAnimation(ratio));
        ok = writeFile(fileName(out, QStringLiteral("anim/%1").arg(AnimationId), "gif", ratio), gif) && ok;
    }

    if (!sheetPath.isEmpty() && !ratios.isEmpty()) {
        const int ratio = ratios.last();
        for (auto it = sheetIcons.cbegin(); it != sheetIcons.cend(); ++it)
            pictures[it.key()] = it.value();
        QByteArray bytes = gif;
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer, "gif");
        for (int frame = 0; reader.canRead(); ++frame) {
            QImage picture = reader.read();
            picture.setDevicePixelRatio(ratio);
            pictures[AnimationId * 10 + frame] = picture;
        }
        pictures[9001] = mockMainWindow(pictures, readTable(out, 1033, ok));
        pictures[9002] = mockAboutBox(pictures.value(387));
        pictures[9003] = mockAboutBox(pictures.value(275));
        pictures[9004] = mockAboutBox(pictures.value(230));
        ok = writeImage(sheetPath, contactSheet(pictures, ratio)) && ok;
    }
    return ok ? 0 : 1;
}
