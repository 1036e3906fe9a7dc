#include "Cqv_discoveryApp.h"
#include "ProcessExit.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

#ifndef QVD_PRODUCT_VERSION
#error "QVD_PRODUCT_VERSION is set by the build"
#endif

namespace {

constexpr char Help[] = "usage: qvlink [--help] [--version]\n"
                        "\n"
                        "QV Link finds the Halvren network storage and media devices on the local network and\n"
                        "lists them by name and address. For the device clicked it lists the shared folders and the\n"
                        "drive letters connected to them, and it can map a folder to a drive letter, open a folder\n"
                        "in the file manager, open the device's web configuration page in the browser and put a\n"
                        "shortcut to the device on the desktop.\n"
                        "\n"
                        "Only one copy runs for a user: starting it again brings the running window to the front.\n"
                        "The texts follow the interface language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), the About\n"
                        "picture the regional locale.\n"
                        "\n"
                        "  --help     show this text\n"
                        "  --version  show the version\n"
                        "\n"
                        "Other arguments are left to Qt (for example -platform or -display).\n"
                        "qvlink-scan(1) runs the same search from the command line.\n";

// Answered before the application object exists, so that neither a display nor a window nor
// a search is needed to ask.
bool AnswerQuestion(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Help, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("qvlink %s\n", QVD_PRODUCT_VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (AnswerQuestion(argc, argv)) {
        return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 3;
    }
    QApplication application(argc, argv);
    Cqv_discoveryApp program;
    program.InitInstance();
    // The window has closed and the lock is released: the process ends now. Background
    // threads still at work (a listing waiting on a silent server) are not waited for, and no
    // library is cleaned up under them.
    qvp::endProcess(0);
}
