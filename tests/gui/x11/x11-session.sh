#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) with a window manager (openbox), as a user's
# desktop runs the program:  x11-session.sh COMMAND [ARGS...]
# The display is the first free one from :71 on. DISPLAY, QT_QPA_PLATFORM=xcb and a private
# XDG_RUNTIME_DIR are set for the command. Everything started here is stopped by its PID.
set -u
for tool in Xvfb openbox xdpyinfo xprop; do
    command -v "$tool" >/dev/null || { echo "x11-session: $tool is missing" >&2; exit 1; }
done
work=$(mktemp -d /tmp/qvlink-x11.XXXXXX)
xvfb_pid= wm_pid=
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The server refuses a display whose lock another server holds; then the next one is tried.
started=
for n in $(seq 71 99); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        # The display must be this server's: another one may have won the same number.
        if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
            [ "$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xvfb_pid" ] && started=$n
            break
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    [ -n "$started" ] && break
    kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=
done
[ -n "$started" ] || { echo "x11-session: no X server started" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$started"

HOME="$work" openbox --sm-disable >"$work/wm.log" 2>&1 &
wm_pid=$!
for _ in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' \
    || { echo "x11-session: the window manager did not start" >&2; cat "$work/wm.log" >&2; exit 1; }

mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb
"$@"
