#include "AutostartEntry.h"
#include "Cqv_discoveryApp.h"
#include "MappingRestore.h"
#include "ProcessExit.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#ifndef QVD_PRODUCT_VERSION
#error "QVD_PRODUCT_VERSION is set by the build"
#endif

namespace {

constexpr char Help[] = "usage: qvlink [--help] [--version] [--restore-mappings]\n"
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
                        "  --restore-mappings\n"
                        "             mount every folder mapped to a drive letter again, without a window (the\n"
                        "             autostart entry that Map Drive writes runs it at login); passwords come\n"
                        "             from the keyring only; a server that does not answer is given up after\n"
                        "             about 10 s and the whole run ends within 30 s. One line per letter goes\n"
                        "             to standard error. Exit status 0: every folder mounted (or none\n"
                        "             remembered), 1: some not mounted (they stay remembered), 2: the\n"
                        "             remembered letters cannot be read\n"
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

bool WantsRestore(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], qvp::RestoreOption) == 0) {
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
    // At login, before any application object: no display, no window, no single-instance
    // lock, so a window started at the same time is never held up.
    if (WantsRestore(argc, argv)) {
        std::unique_ptr<qvp::PasswordKeyring> keyring = qvp::makeSecretServiceKeyring(qvp::KeyringTimeoutMs);
        // A mount that GVfs never answered may still be pending: nothing is torn down under it.
        qvp::endProcess(qvp::runMappingRestore(keyring->Available() ? keyring.get() : nullptr, stderr));
    }
    QApplication application(argc, argv);
    Cqv_discoveryApp program;
    program.InitInstance();
    // The window has closed and the lock is released: the process ends now. Background
    // threads still at work (a listing waiting on a silent server) are not waited for, and no
    // library is cleaned up under them.
    qvp::endProcess(0);
}
