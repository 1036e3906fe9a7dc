#!/usr/bin/env bash
# Runs the real program under Xvfb inside the test LAN (two of the maker's devices and a
# MiniDLNA server) and takes screenshots: the search running, the devices listed, a device's
# tooltip, the About box; then once more on a LAN with nothing on it, for the no-device box.
# Also checks that a second start while the first copy runs ends at once and leaves the first
# copy running.
#
#   tools/screenshots.sh QVLINK OUTDIR
#
# Needs root, ip netns, Xvfb, xdotool, imagemagick (import), python3 and minidlnad. Nothing
# runs in the namespace this script is started in; every process started is stopped by PID.
set -u
QVLINK=$(realpath "$1")
OUT=$(realpath -m "$2")
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/../tests/lan/lan.sh"
LAN_DIR="$HERE/../tests/lan"
LAN_DEVICE="$LAN_DIR/qvlink-testdevice.py"
LAN_DEVICE_LIFETIME=120
lan_require python3 minidlnad Xvfb xdotool import
[ -x "$QVLINK" ] || fail "no program at $QVLINK"
mkdir -p "$OUT"
lan_init

DISPLAY_NO=:77
# in_host HOST COMMAND...: runs COMMAND in host HOST with the display and a private runtime folder.
in_host() {
    local host=$1
    shift
    ip netns exec "$(lan_ns "$host")" env DISPLAY=$DISPLAY_NO XDG_RUNTIME_DIR="$LAN_TMP/run$host" \
        LANG=C.UTF-8 LC_ALL= LANGUAGE= "$@"
}

start_display() {
    mkdir -p "$LAN_TMP/run$1" && chmod 700 "$LAN_TMP/run$1"
    lan_start "$1" xvfb$1 Xvfb $DISPLAY_NO -screen 0 1024x768x24 -nolisten tcp
    local i
    for i in $(seq 50); do
        in_host "$1" xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "Xvfb did not start"
}

# Waits for the main window ("QV Link") on HOST; prints its X window id.
wait_window() {
    local i id
    for i in $(seq 100); do
        id=$(in_host "$1" xdotool search --onlyvisible --name '^QV Link$' 2>/dev/null | head -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

shot() { in_host "$1" import -window root -crop 1024x768+0+0 "$OUT/$2.png" && lan_log "shot $2"; }

# Phase 1: the LAN with devices. Host 0 runs the display and the program.
lan_create 4
start_display 0
lan_device 1 nas --device-type urn:schemas-upnp-org:device:QvNAS:1 --friendly-name "QV NAS Office" --delay-ms 900
lan_device 2 zenas --device-type urn:schemas-upnp-org:device:ZeNAS:1 --friendly-name "ZeNAS Media" --delay-ms 1800
lan_minidlna 3 minidlna

lan_start 0 qvlink env DISPLAY=$DISPLAY_NO XDG_RUNTIME_DIR="$LAN_TMP/run0" LANG=C.UTF-8 LC_ALL= LANGUAGE= "$QVLINK"
QVLINK_PID=${LAN_PIDS[-1]}
win=$(wait_window 0) || fail "the main window did not appear"
lan_log "window $win"
sleep 0.6
shot 0 searching

# A second copy ends at once and leaves the first alone.
start=$(date +%s%N)
in_host 0 timeout 10 "$QVLINK" || fail "second copy failed"
end=$(date +%s%N)
lan_log "second copy ended after $(((end - start) / 1000000)) ms"
kill -0 "$QVLINK_PID" || fail "the first copy ended"

# The search lasts its listening turns; the devices are listed one per poll.
sleep 11
shot 0 devices-listed

# The first device's details, from the pointer resting on its row; then off the list again.
in_host 0 xdotool mousemove --window "$win" 120 155
sleep 1.5
shot 0 device-tooltip
in_host 0 xdotool mousemove --window "$win" 300 60
sleep 0.5

# The About box from the title-bar button (411, 9, 22 x 22).
in_host 0 xdotool mousemove --window "$win" 422 20 click 1
sleep 1
shot 0 about
in_host 0 xdotool key Escape
sleep 0.5

# The window menu from a right click on the surface (the logo area), then closed again.
in_host 0 xdotool mousemove --window "$win" 300 60 click 3
sleep 0.7
shot 0 window-menu
in_host 0 xdotool key Escape
sleep 0.3

# Dragging by the surface moves the window; dragging on a control does not.
geometry() { in_host 0 xdotool getwindowgeometry "$win" | sed -n 's/.*Position: \([0-9]*,[0-9]*\).*/\1/p'; }
before=$(geometry)
in_host 0 xdotool mousemove --window "$win" 200 40 mousedown 1 mousemove_relative --sync 40 30 mouseup 1
sleep 0.3
after=$(geometry)
lan_log "drag by the surface: $before -> $after"
[ "$before" != "$after" ] || fail "dragging by the surface did not move the window"
in_host 0 xdotool mousemove --window "$win" 300 284 mousedown 1 mousemove_relative --sync 40 30 mouseup 1
sleep 0.3
[ "$(geometry)" = "$after" ] || fail "dragging on Refresh moved the window"
kill -TERM "$QVLINK_PID" 2>/dev/null

# Phase 2: a host on a LAN of its own, nothing answers: the no-device box.
lan_create_alone() {
    local ns="${LAN_ID}alone"
    lan_add_netns "$ns"
    ip -n "$ns" link set lo up
    ip -n "$ns" route add default dev lo
}
lan_create_alone
alone() { ip netns exec "${LAN_ID}alone" env DISPLAY=:78 XDG_RUNTIME_DIR="$LAN_TMP/runA" LANG=C.UTF-8 LC_ALL= LANGUAGE= "$@"; }
mkdir -p "$LAN_TMP/runA" && chmod 700 "$LAN_TMP/runA"
ip netns exec "${LAN_ID}alone" Xvfb :78 -screen 0 1024x768x24 -nolisten tcp >"$LAN_TMP/xvfbA.out" 2>&1 &
LAN_PIDS+=($!)
for i in $(seq 50); do alone xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
alone "$QVLINK" >"$LAN_TMP/qvlinkA.out" 2>&1 &
LAN_PIDS+=($!)
for i in $(seq 100); do
    alone xdotool search --onlyvisible --name '^QV Link$' >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 12
alone import -window root -crop 1024x768+0+0 "$OUT/no-device.png" && lan_log "shot no-device"
echo "screenshots in $OUT"
