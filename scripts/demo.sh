#!/usr/bin/env bash
# Shows QV Link without a NAS: builds the program if needed, sets up a small simulated LAN in
# network namespaces (three of the maker's NAS devices with shared folders and a web page, and a
# media server of another maker) and starts QV Link on your display inside it. Everything is
# removed again when QV Link closes or on Ctrl-C.  Run as root:  sudo ./scripts/demo.sh [QVLINK]
# QVLINK: a program built elsewhere, run instead of building build/.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "demo: run as root (sudo $0): it creates network namespaces" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "demo: no DISPLAY: run it from your desktop session (sudo keeps DISPLAY)" >&2; exit 1; }

"$root/scripts/deps.sh" demo || exit 1
qvlink=${1:-}
if [ -z "$qvlink" ]; then
    echo "demo: building QV Link in build/"
    "$root/scripts/build.sh" "$root/build" -DQVD_BUILD_TESTS=OFF -DQVD_BUILD_BENCH=OFF || exit 1
    qvlink="$root/build/app/qvlink"
fi
[ -x "$qvlink" ] || { echo "demo: no program at $qvlink" >&2; exit 1; }
qvlink=$(realpath "$qvlink")

source "$root/scripts/demo-lan.sh"
# A missing tool ends the check with 77; say what to do instead.
(demo_lan_require) || { echo "demo: install what is missing with ./scripts/deps.sh demo" >&2; exit 1; }

# QV Link runs as the user who called sudo, on that user's display.
if [ -n "${SUDO_UID:-}" ] && [ "$SUDO_UID" != 0 ]; then
    DEMO_RUN_AS="$SUDO_UID:$SUDO_GID" DEMO_USER_NAME=${SUDO_USER:-}
    if [ -z "${XAUTHORITY:-}" ]; then
        user_home=$(getent passwd "$SUDO_UID" | cut -d: -f6)
        [ -r "$user_home/.Xauthority" ] && export XAUTHORITY="$user_home/.Xauthority"
    fi
fi

echo "demo: setting up the simulated LAN"
demo_lan_up
demo_lan_describe
echo "Shortcuts and drive letters of the demo go to $LAN_TMP/home and are removed at the end."
echo "demo: starting QV Link; close it (or press Ctrl-C here) to end the demo"
# The session bus and GVfs talk a lot on the terminal: their words go to a log, shown on failure.
# The program runs in the background so that a signal ends the wait at once; the teardown then
# stops it with everything else on the LAN.
demo_session "$qvlink" >"$LAN_TMP/qvlink.log" 2>&1 &
trap 'echo "demo: stopped; removing the simulated LAN"; exit 130' INT TERM
wait $!
status=$?
[ "$status" -eq 0 ] || { tail -n 30 "$LAN_TMP/qvlink.log" >&2; echo "demo: QV Link ended with status $status" >&2; }
echo "demo: removing the simulated LAN"
