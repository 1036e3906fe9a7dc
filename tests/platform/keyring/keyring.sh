# A Secret Service keyring of the test's own, in the D-Bus session the caller runs in; sourced.
#
# keyring_start: gnome-keyring-daemon with only its secrets component, the login keyring made
# and unlocked with a test password; returns once the service owns its bus name. Its PID is in
# $KEYRING_PID. HOME and the XDG folders must already point into the test's temp folder.
# keyring_stop: ends that daemon (and only it).
keyring_start() {
    local i
    mkdir -p "$XDG_RUNTIME_DIR/keyring-control"
    printf 'test-login-password' | gnome-keyring-daemon --foreground --unlock --components=secrets \
        --control-directory="$XDG_RUNTIME_DIR/keyring-control" >/dev/null 2>&1 &
    KEYRING_PID=$!
    for i in $(seq 100); do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true'; then
            return 0
        fi
        kill -0 "$KEYRING_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "the keyring daemon did not come up" >&2
    return 1
}

keyring_stop() {
    if [ -n "${KEYRING_PID:-}" ]; then
        kill -CONT "$KEYRING_PID" 2>/dev/null
        kill "$KEYRING_PID" 2>/dev/null
        wait "$KEYRING_PID" 2>/dev/null
        KEYRING_PID=
    fi
}
