#!/usr/bin/env bash
# The real program on a Wayland desktop (run by wayland-session.sh, in a network namespace with
# nothing on it): the main window and the no-device box show the desktop in their cut corners
# and their pictures everywhere else inside the shape, their texts are drawn, and the box lies
# over the window.   wayland-windows.sh QVLINK BITMAPS [OUTDIR]
# BITMAPS is the folder of the skin pictures; OUTDIR, when given, keeps the screenshots.
set -u
QVLINK=$1
BITMAPS=$2
OUT=${3:-}
HERE=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/qvlink-wlshots.XXXXXX)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
source "$HERE/../script-lib.sh"
# views: "NAME X Y W H" for each window of the program that the compositor shows.
views() {
    swaymsg -t get_tree | python3 -c '
import json, sys
def walk(node):
    if node.get("pid") and node.get("visible", True):
        r = node["rect"]
        print(node.get("name") or "-", r["x"], r["y"], r["width"], r["height"])
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
walk(json.load(sys.stdin))'
}
main_shown() { views | grep -q '^QV Link '; }
box_shown() { [ "$(views | wc -l)" -ge 2 ]; }
shot() { grim "$work/$1.png" || fail "no screenshot"; [ -z "$OUT" ] || cp "$work/$1.png" "$OUT/$1.png"; }
[ -z "$OUT" ] || mkdir -p "$OUT"

$AS_USER "$QVLINK" >"$work/qvlink.log" 2>&1 &
pid=$!
wait_for 15 main_shown || { cat "$work/qvlink.log" >&2; fail "no main window"; }
sleep 1.5 # the first frames; the search is still running
read -r _ _ wx wy ww wh < <(views | grep '^QV Link ')
echo "main window at $wx,$wy, $ww x $wh"
[ "$ww" = 498 ] && [ "$wh" = 583 ] || fail "the main window is $ww x $wh"
shot wayland-main
# Controls and texts over the picture: the headings, the label, the lists (with their scroll
# bars), the buttons, the
# drive-letter box. The animation may or may not show.
python3 "$HERE/shot_check.py" "$work/wayland-main.png" "$BITMAPS/229.png" "$wx" "$wy" "$QV_DESKTOP_COLOUR" \
    --text 28 86 231 24 --text 28 329 194 28 --text 30 508 212 19 --text 33 119 446 133 --text 33 362 446 133 \
    --text 26 268 224 33 --text 250 268 108 32 --text 364 268 108 32 --text 250 530 108 32 --text 364 530 108 32 \
    --text 411 9 22 22 --text 438 9 22 22 --text 465 9 22 22 --text 28 532 194 26 --skip 220 175 50 50 ||
    fail "the main window is not drawn as it should be"

wait_for 30 box_shown || fail "no no-device box within 30 s"
sleep 0.5
read -r _ bx by bw bh < <(views | grep -v '^QV Link ' | sed 's/^[^ ]* /- /' | head -n1)
echo "box at $bx,$by, $bw x $bh"
shot wayland-no-device
dx=$((2 * bx + bw - (2 * wx + ww)))
dy=$((2 * by + bh - (2 * wy + wh)))
[ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ] || fail "the box is not over the window's centre (off by $((dx / 2)),$((dy / 2)))"
# Behind the box's corners: the desktop, or the main window where it lies under them.
python3 "$HERE/shot_check.py" "$work/wayland-no-device.png" "$BITMAPS/233.png" "$bx" "$by" "$QV_DESKTOP_COLOUR" \
    --behind "$BITMAPS/229.png" "$wx" "$wy" --text 34 91 511 61 --text 442 164 110 33 ||
    fail "the no-device box is not drawn as it should be"
echo "wayland: all checks passed"
