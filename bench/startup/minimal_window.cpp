// The reference: a minimal Qt 6 window program of the same size, built in the same tree.
//   bench_minimal_window [HOLD_MS]

#include "FirstPaintProbe.h"

#include <QPainter>
#include <cstdlib>

namespace {

class MinimalWindow : public QWidget
{
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(59, 59, 59));
    }
};

} // namespace

int main(int argc, char* argv[])
{
    StartupCheckpoint("main entered");
    QApplication application(argc, argv);
    StartupCheckpoint("application object made");
    FirstPaintProbe probe(QStringLiteral("MinimalWindow"), argc > 1 ? std::atoi(argv[1]) : 0);
    application.installEventFilter(&probe);
    MinimalWindow window;
    window.setObjectName(QStringLiteral("MinimalWindow"));
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.setFixedSize(498, 583);
    window.show();
    return application.exec();
}
