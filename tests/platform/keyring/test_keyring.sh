#!/usr/bin/env bash
# The Secret Service keyring against a real gnome-keyring-daemon, each run in a D-Bus session
# of its own with HOME and the XDG folders in a temp folder: stored, found, replaced, found
# from another client's item (running); a keyring that holds its name but never answers
# (hung); a bus without any keyring (none); and the running case again as an ordinary user.
#   test_keyring.sh BINARY
set -u
binary=$1 here=$(cd "$(dirname "$0")" && pwd)
for tool in dbus-run-session dbus-daemon dbus-send gnome-keyring-daemon secret-tool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
chmod 755 "$top"
failed=0

# session USER MODE: one run of BINARY in a fresh session of its own as USER.
session() {
    local user=$1 mode=$2 home="$top/$1-$2" config=()
    mkdir -p "$home/config" "$home/data" "$home/cache" "$home/runtime" "$home/services"
    chmod 700 "$home/runtime"
    if [ "$mode" = none ]; then
        # A bus that can start nothing: no keyring is activated behind the test's back.
        sed -e 's|<standard_session_servicedirs */>|<servicedir>'"$home/services"'</servicedir>|' \
            /usr/share/dbus-1/session.conf >"$home/session.conf"
        config=(--config-file="$home/session.conf")
    fi
    local run=(env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config"
               XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime"
               QVD_KEYRING="$mode" dbus-run-session "${config[@]}" -- bash "$here/keyring_inner.sh" "$binary" "$mode")
    if [ "$user" != "$(id -un)" ]; then
        chown -R "$user" "$home"
        run=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups "${run[@]}")
    fi
    echo "== $mode as $user"
    "${run[@]}" || { echo "FAIL: $mode as $user"; failed=1; }
}

session "$(id -un)" running
session "$(id -un)" hung
session "$(id -un)" none
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    chmod 755 "$(dirname "$binary")"
    session nobody running
fi
[ $failed -eq 0 ] && echo "PASS: keyring stored, found, replaced; hung and missing keyrings end in time"
exit $failed
