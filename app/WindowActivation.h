// Bringing the running copy's window to the front for a second start, with the activation
// token that start was given, so that the desktop's focus-stealing prevention lets it through:
// on Wayland the xdg-activation token (Qt's Wayland plugin takes it from XDG_ACTIVATION_TOKEN
// when the window asks to be activated), on X11 the startup-notification id (set as the
// window's _NET_STARTUP_ID, the launch feedback ended with its "remove" message, and the
// activation request stamped with the id's time).
//
// Thread-safety: UI thread only.
#pragma once

#include <QByteArray>

class QWidget;
struct ActivationToken;

// Restores a minimised window, raises it and asks for the focus.
void BringToFront(QWidget& window, const ActivationToken& token);

// The X server time a startup id carries ("..._TIME<decimal>"), 0 when it carries none.
unsigned long StartupIdTime(const QByteArray& startupId);
// The startup-notification message that ends the launch feedback of startupId.
QByteArray StartupRemoveMessage(const QByteArray& startupId);
