#include "WindowActivation.h"

#include "SingleInstance.h"
#include "StartupTrace.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {

// Startup-notification messages travel in client messages of 20 bytes each.
constexpr int StartupChunkBytes = 20;
constexpr uint32_t SourceApplication = 1;
constexpr char TimeKey[] = "_TIME";

xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

xcb_window_t RootOf(xcb_connection_t* connection, xcb_window_t window)
{
    xcb_get_geometry_reply_t* reply = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    const xcb_window_t root = reply != nullptr ? reply->root : xcb_window_t{XCB_WINDOW_NONE};
    std::free(reply);
    return root;
}

void SendStartupRemove(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, const QByteArray& id)
{
    const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
    // The terminating NUL travels too: it ends the message for the receiver.
    QByteArray message = StartupRemoveMessage(id);
    message.append('\0');
    for (qsizetype at = 0; at < message.size(); at += StartupChunkBytes) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = window;
        event.type = at == 0 ? begin : more;
        std::memcpy(event.data.data8, message.constData() + at,
                    static_cast<size_t>(std::min<qsizetype>(StartupChunkBytes, message.size() - at)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
}

void SendActiveWindow(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, uint32_t time)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom(connection, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = SourceApplication;
    event.data.data32[1] = time;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

// X11: the id names the launch this activation answers; its time is the user's action, later
// than the focus of whatever window the user used since, so the window manager allows it.
// Returns whether the activation request was sent here (else Qt's own goes out).
bool ActivateOnX11(QWidget& window, const QByteArray& startupId)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || startupId.isEmpty()) {
        return false;
    }
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_window_t root = RootOf(connection, id);
    if (root == XCB_WINDOW_NONE) {
        return false;
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, Atom(connection, "_NET_STARTUP_ID"),
                        Atom(connection, "UTF8_STRING"), 8, static_cast<uint32_t>(startupId.size()),
                        startupId.constData());
    SendStartupRemove(connection, root, id, startupId);
    const unsigned long time = StartupIdTime(startupId);
    if (time != 0) {
        SendActiveWindow(connection, root, id, static_cast<uint32_t>(time));
    }
    xcb_flush(connection);
    StartupCheckpoint("activated with the startup id");
    return time != 0;
}

} // namespace

unsigned long StartupIdTime(const QByteArray& startupId)
{
    const qsizetype at = startupId.lastIndexOf(TimeKey);
    if (at < 0) {
        return 0;
    }
    bool ok = false;
    const unsigned long time = startupId.mid(at + static_cast<qsizetype>(std::strlen(TimeKey))).toULong(&ok);
    return ok && time <= 0xffffffffUL ? time : 0;
}

QByteArray StartupRemoveMessage(const QByteArray& startupId)
{
    QByteArray quoted;
    for (const char c : startupId) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return "remove: ID=\"" + quoted + '"';
}

void BringToFront(QWidget& window, const ActivationToken& token)
{
    if (window.isMinimized()) {
        window.showNormal();
    }
    window.raise();
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb") && ActivateOnX11(window, token.startupId)) {
        return;
    }
    const bool wayland = platform.startsWith(QLatin1String("wayland"));
    if (wayland && !token.xdgActivationToken.isEmpty()) {
        // Read by the Wayland plugin inside the activation request, and used up by it.
        qputenv("XDG_ACTIVATION_TOKEN", token.xdgActivationToken);
        StartupCheckpoint("activated with the xdg-activation token");
    }
    window.activateWindow();
    if (wayland) {
        // Programs started later (the browser, the file manager) must not inherit a used token.
        qunsetenv("XDG_ACTIVATION_TOKEN");
    }
}
