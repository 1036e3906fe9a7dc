// The reference the program is held to: a bare Qt 6 window of the same size that shows one line
// of text in the program's font ("Arial", which fontconfig resolves as it does for the
// program), so that the font machinery's start-up counts on both sides.
//   bench_text_window [HOLD_MS]

#include "FirstPaintProbe.h"

#include <QFont>
#include <QPainter>
#include <cstdlib>

namespace {

constexpr int HeadingPixels = 24;

class TextWindow : public QWidget
{
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(59, 59, 59));
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(HeadingPixels);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(QRect(28, 86, 300, 30), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Network Storage Found"));
    }
};

} // namespace

int main(int argc, char* argv[])
{
    StartupCheckpoint("main entered");
    QApplication application(argc, argv);
    StartupCheckpoint("application object made");
    FirstPaintProbe probe(QStringLiteral("TextWindow"), argc > 1 ? std::atoi(argv[1]) : 0);
    application.installEventFilter(&probe);
    TextWindow window;
    window.setObjectName(QStringLiteral("TextWindow"));
    window.setWindowTitle(QStringLiteral("One line"));
    window.setFixedSize(498, 583);
    window.show();
    return application.exec();
}
