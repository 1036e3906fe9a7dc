#!/usr/bin/env bash
# Runs the real program twice under Xvfb inside the test LAN (two of the maker's devices
# answering): once at device pixel ratio 1 and once at QT_SCALE_FACTOR=2, each on a display of
# its own with a white root window so that the window's cut corners show. Takes both windows
# with their devices listed and both About boxes, and puts each pair side by side at device
# pixels (the ratio-2 window is twice as large), plus a detail of the top-left corner at the
# same size (ratio 1 enlarged pixel by pixel beside ratio 2 as drawn).
#
#   tools/hidpi-screenshots.sh QVLINK OUTDIR
#
# Needs root, ip netns, Xvfb, xdotool, imagemagick and python3. Nothing runs in the namespace
# this script is started in; every process started is stopped by PID.
set -u
QVLINK=$(realpath "$1")
OUT=$(realpath -m "$2")
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/../tests/lan/lan.sh"
LAN_DIR="$HERE/../tests/lan"
LAN_DEVICE="$LAN_DIR/qvlink-testdevice.py"
LAN_DEVICE_LIFETIME=120
lan_require python3 Xvfb xdotool import convert
[ -x "$QVLINK" ] || fail "no program at $QVLINK"
mkdir -p "$OUT"
lan_init

DISPLAYS=([1]=:140 [2]=:141)
# on RATIO COMMAND...: runs COMMAND in host 0 on the display of that ratio.
on() {
    local ratio=$1
    shift
    ip netns exec "$(lan_ns 0)" env DISPLAY=${DISPLAYS[$ratio]} XDG_RUNTIME_DIR="$LAN_TMP/run$ratio" \
        LANG=C.UTF-8 LC_ALL= LANGUAGE= "$@"
}

lan_create 3
lan_device 1 nas --device-type urn:schemas-upnp-org:device:QvNAS:1 --friendly-name "QV NAS Office" --delay-ms 300
lan_device 2 nas2 --device-type urn:schemas-upnp-org:device:QvNAS:1 --friendly-name "QV NAS Studio" --delay-ms 600
declare -A WIN
for ratio in 1 2; do
    mkdir -p "$LAN_TMP/run$ratio" && chmod 700 "$LAN_TMP/run$ratio"
    lan_start 0 xvfb$ratio Xvfb ${DISPLAYS[$ratio]} -screen 0 1200x1300x24 -wr -nolisten tcp
    for i in $(seq 50); do on $ratio xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    scale=()
    [ "$ratio" = 2 ] && scale=(QT_SCALE_FACTOR=2)
    lan_start 0 qvlink$ratio env DISPLAY=${DISPLAYS[$ratio]} XDG_RUNTIME_DIR="$LAN_TMP/run$ratio" LANG=C.UTF-8 \
        LC_ALL= LANGUAGE= "${scale[@]}" "$QVLINK"
    for i in $(seq 100); do
        WIN[$ratio]=$(on $ratio xdotool search --onlyvisible --name '^QV Link$' 2>/dev/null | head -n1)
        [ -n "${WIN[$ratio]}" ] && break
        sleep 0.1
    done
    [ -n "${WIN[$ratio]}" ] || fail "no window at ratio $ratio"
    # Some room around it, so that the corners show against the white root.
    on $ratio xdotool windowmove "${WIN[$ratio]}" 20 20
done

# shot RATIO NAME W H: the root area from (10, 10) that holds a window of W x H logical pixels.
shot() {
    local w=$(($3 * $1 + 20)) h=$(($4 * $1 + 20))
    on "$1" import -window root -crop ${w}x${h}+10+10 +repage "$OUT/$2-ratio-$1.png" && lan_log "shot $2 at ratio $1"
}
# The search lasts its listening turns.
sleep 12
for ratio in 1 2; do
    on $ratio xdotool mousemove --window "${WIN[$ratio]}" $((120 * ratio)) $((160 * ratio)) click 1
done
sleep 1
for ratio in 1 2; do shot $ratio main 498 583; done
for ratio in 1 2; do
    on $ratio xdotool mousemove --window "${WIN[$ratio]}" $((422 * ratio)) $((20 * ratio)) click 1
done
sleep 1.5
for ratio in 1 2; do
    box=$(on $ratio xdotool search --onlyvisible --name '^About' 2>/dev/null | head -n1)
    [ -n "$box" ] && on $ratio xdotool windowmove "$box" 20 20
done
sleep 0.5
for ratio in 1 2; do shot $ratio about 585 218; done

for name in main about; do
    convert "$OUT/$name-ratio-1.png" \( "$OUT/$name-ratio-2.png" -background white -gravity west -splice 20x0 \) \
        -gravity north +append "$OUT/hidpi-$name-ratio-1-and-2.png"
done
# The top-left corner, 250 x 80 logical pixels, both at 500 x 160.
convert \( "$OUT/main-ratio-1.png" -crop 250x80+10+10 +repage -filter point -resize 200% \) \
    \( "$OUT/main-ratio-2.png" -crop 500x160+10+10 +repage -background white -gravity west -splice 12x0 \) +append \
    "$OUT/hidpi-detail-ratio-1-and-2.png"
lan_log "screenshots in $OUT"
