// The program's own start-up (single-instance check, main window, first search) with a probe
// that reports the main window's first painted frame.
//   bench_qvlink_firstframe [HOLD_MS]

#include "Cqv_discoveryApp.h"
#include "FirstPaintProbe.h"

#include <cstdlib>

int main(int argc, char* argv[])
{
    StartupCheckpoint("main entered");
    QApplication application(argc, argv);
    StartupCheckpoint("application object made");
    FirstPaintProbe probe(QStringLiteral("Cqv_discoveryDlg"), argc > 1 ? std::atoi(argv[1]) : 0);
    application.installEventFilter(&probe);
    Cqv_discoveryApp program;
    program.InitInstance();
    return 0;
}
