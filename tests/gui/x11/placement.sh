#!/usr/bin/env bash
# Where the real program's windows go under a window manager (run by x11-session.sh, openbox,
# in a network namespace with nothing on it), as a new user finds them before ever moving the
# window: not marked modal, the drive-letter drop-down at its combo box, the no-device box
# over the window, and a first drag that moves the window by exactly the way dragged.
#   placement.sh QVLINK
set -u
QVLINK=$1
for tool in xdotool xprop xwininfo; do
    command -v "$tool" >/dev/null || { echo "placement: $tool is missing" >&2; exit 1; }
done
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; }
trap cleanup EXIT
source "$(dirname "$0")/../script-lib.sh"
# origin ID: the window's top-left corner on the screen, "X Y".
origin() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} END {print x, y}'; }
size() { xwininfo -id "$1" | awk '/Width:/ {w = $NF} /Height:/ {h = $NF} END {print w, h}'; }
# others: the program's visible windows other than the main window.
others() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$window"; }
one_other() { [ "$(others | wc -l)" -ge 1 ]; }
no_other() { [ "$(others | wc -l)" -eq 0 ]; }
main_window() { window=$(xdotool search --onlyvisible --name '^QV Link$' 2>/dev/null | head -n1); [ -n "$window" ]; }

window=
"$QVLINK" &
pid=$!
wait_for 10 main_window || fail "no main window"
sleep 1 # the first frames and the window manager's placement
read -r wx wy < <(origin "$window")
echo "main window at $wx,$wy"

# Not modal: it has no owner.
state=$(xprop -id "$window" _NET_WM_STATE)
echo "$state"
! grep -q _NET_WM_STATE_MODAL <<<"$state" || fail "the main window is marked modal"

# The drive-letter drop-down opens at its combo box (28, 532, 194 wide), below or above it.
xdotool mousemove --window "$window" 214 542 click 1
wait_for 5 one_other || fail "the drive-letter drop-down did not open"
popup=$(others | head -n1)
read -r px py < <(origin "$popup")
read -r pw ph < <(size "$popup")
echo "drop-down at $px,$py, $pw x $ph"
[ "$px" -eq $((wx + 28)) ] || fail "the drop-down's left edge is at $px, the combo box's at $((wx + 28))"
below=$((py - (wy + 532)))
above=$((wy + 532 + 30 - (py + ph)))
{ [ "$below" -ge 0 ] && [ "$below" -le 40 ]; } || { [ "$above" -ge 0 ] && [ "$above" -le 40 ]; } ||
    fail "the drop-down ($py to $((py + ph))) is not at the combo box (from $((wy + 532)))"
xdotool key Escape
wait_for 5 no_other || fail "the drop-down did not close"

# The search finds nothing here: the no-device box opens over the window.
wait_for 30 one_other || fail "no no-device box within 30 s"
sleep 0.3
box=$(others | head -n1)
read -r bx by < <(origin "$box")
read -r bw bh < <(size "$box")
echo "box at $bx,$by, $bw x $bh"
dx=$((2 * bx + bw - (2 * wx + 498)))
dy=$((2 * by + bh - (2 * wy + 583)))
[ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ] || fail "the box is not centred over the window (off by $((dx / 2)),$((dy / 2)))"
xdotool mousemove --window "$box" 497 180 click 1 # its OK button
wait_for 5 no_other || fail "the box did not close"

# The first drag, by the window's surface: 100 px left and 30 px down, in steps.
xdotool mousemove --window "$window" 200 40 mousedown 1
for step in "-2 0" "-8 3" "-30 10" "-60 17"; do
    sleep 0.1
    xdotool mousemove_relative --sync -- $step
done
sleep 0.1
xdotool mouseup 1
sleep 0.5
read -r ax ay < <(origin "$window")
echo "dragged by -100,30: the window moved from $wx,$wy to $ax,$ay"
[ "$ax" -eq $((wx - 100)) ] && [ "$ay" -eq $((wy + 30)) ] || fail "the window moved by $((ax - wx)),$((ay - wy))"
echo "placement: all checks passed"
