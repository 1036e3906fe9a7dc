#!/usr/bin/env bash
# Runs a command in a headless Wayland session (sway, its headless backend and software
# rendering) of an ordinary user, as a desktop user runs the program:
#   wayland-session.sh COMMAND [ARGS...]
# The compositor and the command run as QV_WAYLAND_USER (default nobody), with a private
# XDG_RUNTIME_DIR (mode 0700, theirs) under a temp folder; the desktop is one 1024 x 768 output
# in the solid colour QV_DESKTOP_COLOUR (exported to the command). WAYLAND_DISPLAY, SWAYSOCK,
# QT_QPA_PLATFORM=wayland and AS_USER (a prefix that runs a command as that user with the
# session's environment) are set for the command, which itself runs as root. Everything
# started here is stopped by its PID.
set -u
for tool in sway swaymsg grim setpriv; do
    command -v "$tool" >/dev/null || { echo "wayland-session: $tool is missing" >&2; exit 77; }
done
user=${QV_WAYLAND_USER:-nobody}
group=$(id -gn "$user") || exit 1
export QV_DESKTOP_COLOUR=${QV_DESKTOP_COLOUR:-#3a6ea5}
work=$(mktemp -d /tmp/qvlink-wayland.XXXXXX)
chmod 755 "$work"
sway_pid=
cleanup() {
    [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null && wait "$sway_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/run" "$work/home"
chown "$user:$group" "$work/run" "$work/home"
cat >"$work/config" <<CONFIG
output * bg $QV_DESKTOP_COLOUR solid_color
output * resolution 1024x768
default_border none
CONFIG
chmod 644 "$work/config"
as_user=(setpriv --reuid="$user" --regid="$group" --clear-groups env -i PATH=/usr/bin:/bin HOME="$work/home"
    XDG_RUNTIME_DIR="$work/run" LANG="${LANG:-C.UTF-8}")
"${as_user[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/config" >"$work/sway.log" 2>&1 &
sway_pid=$!
sock=
for _ in $(seq 200); do
    sock=$(ls "$work/run"/sway-ipc.*.sock 2>/dev/null | head -n1)
    [ -n "$sock" ] && [ -S "$work/run/wayland-1" ] && "${as_user[@]}" swaymsg -s "$sock" -t get_outputs >/dev/null 2>&1 && break
    sock=
    kill -0 "$sway_pid" 2>/dev/null || break
    sleep 0.05
done
[ -n "$sock" ] || { echo "wayland-session: the compositor did not start" >&2; cat "$work/sway.log" >&2; exit 1; }

export WAYLAND_DISPLAY=wayland-1 SWAYSOCK="$sock" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=wayland
export AS_USER="${as_user[*]} WAYLAND_DISPLAY=wayland-1 SWAYSOCK=$sock QT_QPA_PLATFORM=wayland"
"$@"
