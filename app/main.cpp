#include "AutostartEntry.h"
#include "Cqv_discoveryApp.h"
#include "MappingRestore.h"
#include "ProcessExit.h"

#include <QApplication>
#include <QList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

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

constexpr char NoDisplay[] = "qvlink: no display: set DISPLAY or WAYLAND_DISPLAY, or run it on a desktop\n";
constexpr char DisplayGone[] = "qvlink: no display: the window system named by DISPLAY or WAYLAND_DISPLAY does not "
                               "answer\n";

// The value of a Qt option given as "-name value" or "-name=value", or null.
const char* QtOption(int argc, char* argv[], const char* name)
{
    const size_t length = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return i + 1 < argc ? argv[i + 1] : "";
        }
        if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=') {
            return argv[i] + length + 1;
        }
    }
    return nullptr;
}

bool IsSet(const char* value)
{
    return value != nullptr && *value != '\0';
}

// Whether the window system Qt will use has a display to show the window on. Platforms that
// need none (offscreen, minimal, vnc, a framebuffer) are Qt's to judge.
bool DisplayNamed(int argc, char* argv[])
{
    // Read before any thread exists.
    // NOLINTBEGIN(concurrency-mt-unsafe)
    const char* platform = QtOption(argc, argv, "-platform");
    if (!IsSet(platform)) {
        platform = std::getenv("QT_QPA_PLATFORM");
    }
    const bool x11 = IsSet(std::getenv("DISPLAY")) || IsSet(QtOption(argc, argv, "-display"));
    const bool wayland = IsSet(std::getenv("WAYLAND_DISPLAY"));
    // NOLINTEND(concurrency-mt-unsafe)
    if (!IsSet(platform)) {
        return x11 || wayland;
    }
    // A list of platforms to try in turn: one that can start is enough.
    for (const QByteArray& entry : QByteArray(platform).split(';')) {
        // Options follow the name after a colon ("xcb:nograb").
        const qsizetype colon = entry.indexOf(':');
        const QByteArray name = colon < 0 ? entry : entry.left(colon);
        if (name == "xcb" ? x11 : name.startsWith("wayland") ? wayland : !name.isEmpty()) {
            return true;
        }
    }
    return false;
}

// Qt ends the process (status 134) when its platform plugin cannot start, after a few lines of
// its own. While the application object is made, messages are held back: on that failure the
// user gets one line and status 1; otherwise they go out as they came.
struct HeldMessage
{
    QtMsgType type;
    const char* category; // a category's name lives as long as the program
    QString text;
};
QList<HeldMessage>* g_held = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fputs(DisplayGone, stderr);
        std::_Exit(1);
    }
    g_held->append({type, context.category, text});
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
    if (!DisplayNamed(argc, argv)) {
        std::fputs(NoDisplay, stderr);
        return 1;
    }
    const ActivationToken activation = ActivationToken::FromEnvironment();
    QList<HeldMessage> held;
    g_held = &held;
    g_previousHandler = qInstallMessageHandler(HoldMessage);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    for (const HeldMessage& message : held) {
        qt_message_output(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category), message.text);
    }
    g_held = nullptr;
    Cqv_discoveryApp program(QString(), activation);
    program.InitInstance();
    // The window has closed and the lock is released: the process ends now. Background
    // threads still at work (a listing waiting on a silent server) are not waited for, and no
    // library is cleaned up under them.
    qvp::endProcess(0);
}
