#!/usr/bin/env bash
# Shows QV Link without a NAS: builds the program if needed, sets up a small simulated LAN in
# network namespaces (three of the maker's NAS devices with shared folders and a web page, and a
# media server of another maker) and starts QV Link on your display inside it. Everything is
# removed again when QV Link closes or on Ctrl-C.  Run as root:  sudo ./scripts/demo.sh [QVLINK]
# QVLINK: a program built elsewhere, run instead of building build/.
# Called through sudo, build/ is built as the calling user (it stays theirs, for ./scripts/run.sh
# later) and QV Link runs as that user, with the desktop settings that matter to it (display
# scaling, desktop, browser, language) taken from the caller's environment: sudo drops them.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "demo: run as root (sudo $0): it creates network namespaces" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "demo: no DISPLAY: run it from your desktop session (sudo keeps DISPLAY)" >&2; exit 1; }

as_user=()
if [ -n "${SUDO_UID:-}" ] && [ "$SUDO_UID" != 0 ]; then
    user_home=$(getent passwd "$SUDO_UID" | cut -d: -f6)
    groups=--clear-groups
    [ -n "${SUDO_USER:-}" ] && id "$SUDO_USER" >/dev/null 2>&1 && groups=--init-groups
    as_user=(setpriv --reuid="$SUDO_UID" --regid="${SUDO_GID:-$SUDO_UID}" "$groups" env HOME="${user_home:-/}"
        USER="${SUDO_USER:-}" LOGNAME="${SUDO_USER:-}")
fi

"$root/scripts/deps.sh" demo || exit 1
qvlink=${1:-}
if [ -z "$qvlink" ]; then
    echo "demo: building QV Link in build/"
    # A build/ that an older demo left to root goes back to the user who owns the checkout.
    if [ "${#as_user[@]}" -gt 0 ] && [ -d "$root/build" ] && [ -n "$(find "$root/build" -uid 0 -print -quit)" ]; then
        chown -R "$SUDO_UID:${SUDO_GID:-$SUDO_UID}" "$root/build" || exit 1
    fi
    "${as_user[@]}" "$root/scripts/build.sh" "$root/build" -DQVD_BUILD_TESTS=OFF -DQVD_BUILD_BENCH=OFF || exit 1
    qvlink="$root/build/app/qvlink"
fi
[ -x "$qvlink" ] || { echo "demo: no program at $qvlink" >&2; exit 1; }
qvlink=$(realpath "$qvlink")

source "$root/scripts/demo-lan.sh"
# A missing tool ends the check with 77; say what to do instead.
(demo_lan_require) || { echo "demo: install what is missing with ./scripts/deps.sh demo" >&2; exit 1; }

# The desktop settings the program follows. What the demo's own environment holds wins (sudo
# VAR=value, sudo -E); the rest comes from the process of the user that called sudo.
kept=(QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING
    XDG_CURRENT_DESKTOP BROWSER LANG LANGUAGE LC_ALL LC_CTYPE LC_NUMERIC LC_TIME LC_COLLATE LC_MONETARY
    LC_MESSAGES LC_PAPER LC_NAME LC_ADDRESS LC_TELEPHONE LC_MEASUREMENT LC_IDENTIFICATION)
# caller_pid: the nearest ancestor that runs as the user who called sudo (DEMO_CALLER_PID names
# one outright); nothing when there is none.
caller_pid() {
    local pid=$PPID uid
    if [ -n "${DEMO_CALLER_PID:-}" ]; then
        echo "$DEMO_CALLER_PID"
        return
    fi
    while [ "${pid:-0}" -gt 1 ]; do
        uid=$(awk '/^Uid:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
        [ "$uid" = "$SUDO_UID" ] && { echo "$pid"; return; }
        pid=$(awk '/^PPid:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
    done
}
# Each entry NAME=VALUE goes to the program as one argument of env: no shell reads it.
keep_desktop_settings() {
    local name entry caller=
    [ "${#as_user[@]}" -gt 0 ] && caller=$(caller_pid)
    declare -A from_caller=()
    if [ -n "$caller" ] && [ -r "/proc/$caller/environ" ]; then
        while IFS= read -r -d '' entry; do
            from_caller[${entry%%=*}]=${entry#*=}
        done <"/proc/$caller/environ"
    fi
    for name in "${kept[@]}"; do
        if [ -n "${!name:-}" ]; then
            DEMO_ENV+=("$name=${!name}")
        elif [ -n "${from_caller[$name]:-}" ]; then
            DEMO_ENV+=("$name=${from_caller[$name]}")
        fi
    done
}
keep_desktop_settings

# QV Link runs as the user who called sudo, on that user's display.
if [ "${#as_user[@]}" -gt 0 ]; then
    DEMO_RUN_AS="$SUDO_UID:${SUDO_GID:-$SUDO_UID}" DEMO_USER_NAME=${SUDO_USER:-}
    if [ -z "${XAUTHORITY:-}" ] && [ -r "$user_home/.Xauthority" ]; then
        export XAUTHORITY="$user_home/.Xauthority"
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
