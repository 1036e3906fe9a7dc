#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) with a window manager (openbox), as a user's
# desktop runs the program:  x11-session.sh COMMAND [ARGS...]
# The display is the first free one from :71 on (QV_X11_DISPLAYS="FIRST LAST" picks another
# range, for machines where several people share the numbers). DISPLAY, QT_QPA_PLATFORM=xcb
# and a private XDG_RUNTIME_DIR are set for the command. Everything started here is stopped by
# its PID.
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

wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
stop_servers() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    wm_pid= xvfb_pid=
}

# A display whose lock another server holds is skipped; a server or window manager that does
# not come up (another server took the number first, or is just leaving it) moves on to the next.
started=
for n in $(seq ${QV_X11_DISPLAYS:-71 99}); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    ours=
    for _ in $(seq 100); do
        # The display must be this server's: another one may have won the same number.
        if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
            [ "$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xvfb_pid" ] && ours=1
            break
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    if [ -n "$ours" ]; then
        export DISPLAY=":$n"
        HOME="$work" openbox --sm-disable >"$work/wm.log" 2>&1 &
        wm_pid=$!
        for _ in $(seq 200); do
            wm_running && { started=$n; break; }
            kill -0 "$wm_pid" 2>/dev/null || break
            sleep 0.05
        done
    fi
    [ -n "$started" ] && break
    stop_servers
done
[ -n "$started" ] || { echo "x11-session: no X server with a window manager started" >&2; cat "$work/xvfb.log" "$work/wm.log" >&2 2>/dev/null; exit 1; }

mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb
"$@"
