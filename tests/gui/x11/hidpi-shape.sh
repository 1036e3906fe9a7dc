#!/usr/bin/env bash
# The real program on a real X server at a device pixel ratio of 2 (run by x11-session.sh, in a
# network namespace of its own): the main window is exactly twice its logical size in device
# pixels, its top corners are cut in the window shape's steps made twice as large, and what
# shows inside is the ratio-2 picture pixel for pixel: at every corner pixel inside the
# shape and over the logo and product name; outside the shape the desktop shows through.
#   hidpi-shape.sh QVLINK PICTURE(229@2x.png)
set -u
QVLINK=$1
PICTURE=$2
for tool in xdotool xwininfo import convert compare; do
    command -v "$tool" >/dev/null || { echo "hidpi-shape: $tool is missing" >&2; exit 1; }
done
work=$(mktemp -d /tmp/qvlink-hidpi.XXXXXX)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

QT_SCALE_FACTOR=2 "$QVLINK" &
pid=$!
window=
for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name '^QV Link$' 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.05
done
[ -n "$window" ] || fail "no window"
# Some room around the window's top, so that its corners lie on the desktop.
xdotool windowmove --sync "$window" 12 12 2>/dev/null || xdotool windowmove "$window" 12 12
sleep 1
info=$(xwininfo -id "$window")
width=$(sed -n 's/^ *Width: //p' <<<"$info")
height=$(sed -n 's/^ *Height: //p' <<<"$info")
left=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")
top=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
echo "window ${width}x${height} at $left,$top"
[ "$width" = 996 ] && [ "$height" = 1166 ] || fail "the window is ${width}x${height} device pixels, not 996x1166"
[ "$top" -ge 0 ] && [ "$left" -ge 0 ] && [ $((left + width)) -le 1024 ] || fail "the window's top corners are off the screen"

# pixels FILE: "x y r g b" per line. ImageMagick 7 (Debian 13) keeps a crop that holds only
# greys as a grey image and would list one value per pixel: always three here.
pixels() { convert "$1" -colorspace sRGB -type TrueColor -depth 8 txt:- | sed -n 's/^\([0-9]*\),\([0-9]*\): *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4 \5/p'; }

# check: the corners and the logo area against the picture; says what differs.
check() {
    # Each top corner, 24 x 24 device pixels (12 x 12 logical); the shape cuts 8, 6, 4, 3, 2, 2,
    # 1, 1 logical pixels off the eight outer columns.
    for corner in left right; do
        if [ "$corner" = left ]; then x0=0; else x0=$((width - 24)); fi
        import -window root -crop 24x24+$((left + x0))+$top +repage "$work/shot-$corner.png" || return 1
        convert "$PICTURE" -crop 24x24+$x0+0 +repage "$work/picture-$corner.png"
        paste -d ' ' <(pixels "$work/shot-$corner.png") <(pixels "$work/picture-$corner.png") >"$work/$corner.txt"
        [ "$(wc -l <"$work/$corner.txt")" = 576 ] || return 1
        awk -v x0=$x0 -v w=$width -v corner=$corner '
            BEGIN { split("8 6 4 3 2 2 1 1", cut, " ") }
            {
                lx = int(($1 + x0) / 2); ly = int($2 / 2); lw = w / 2
                column = lx < lw - 1 - lx ? lx : lw - 1 - lx
                inside = column >= 8 || ly >= cut[column + 1]
                same = ($3 == $8 && $4 == $9 && $5 == $10)
                if (inside && !same && bad++ < 5) printf "%s corner: device pixel %d,%d inside the shape differs from the picture\n", corner, $1 + x0, $2
                if (!inside && same && bad++ < 5) printf "%s corner: device pixel %d,%d outside the shape shows the picture\n", corner, $1 + x0, $2
            }
            END { exit bad > 0 }' "$work/$corner.txt" || { echo "the $corner corner does not follow the shape at ratio 2"; return 1; }
    done

    # The logo and product name: the ratio-2 picture exactly.
    import -window root -crop 480x100+$((left + 30))+$((top + 20)) +repage "$work/logo.png" || return 1
    convert "$PICTURE" -crop 480x100+30+20 +repage "$work/logo-picture.png"
    differing=$(compare -metric AE "$work/logo.png" "$work/logo-picture.png" null: 2>&1)
    [ "$differing" = 0 ] || { echo "$differing pixels of the logo area differ from the ratio-2 picture"; return 1; }
}

# The first frame may still be on its way: the last of several looks counts.
passed= result=
for _ in $(seq 10); do
    result=$(check) && { passed=1; break; }
    sleep 0.5
done
[ -n "$passed" ] || fail "${result:-no screenshot of the window}"
echo "ratio 2: size, corners and logo as the picture"
