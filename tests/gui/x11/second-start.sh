#!/usr/bin/env bash
# Two real copies of the program on one desktop (run by x11-session.sh, in a network namespace
# of its own): a second start brings the running copy's window to the front, also out of the
# minimised state, and ends; a second start that a launcher gave a startup-notification id
# hands it over, and the running copy comes to the front with it (the id on its window, the
# launch feedback ended); a second start while the running copy has no window yet ends
# silently and shows nothing.   second-start.sh QVLINK
set -u
QVLINK=$1
for tool in xdotool xprop xmessage python3; do
    command -v "$tool" >/dev/null || { echo "second-start: $tool is missing" >&2; exit 1; }
done
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
}
trap cleanup EXIT
source "$(dirname "$0")/../script-lib.sh"
main_windows() { xdotool search --onlyvisible --name '^QV Link$' 2>/dev/null; }
one_main_window() { [ "$(main_windows | wc -l)" -eq 1 ]; }
# The active window belongs to process $1 (its main window or the box it shows).
active_is() { [ "$(xdotool getactivewindow getwindowpid 2>/dev/null)" = "$1" ]; }
not_active() { ! active_is "$1"; }
hidden() { xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_HIDDEN; }
shown() { ! hidden "$1" && xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }
# second_start: a second copy must end by itself, successfully, within 10 s, showing nothing.
second_start() {
    local start=$SECONDS
    timeout 10 "$QVLINK" || fail "the second copy did not end by itself (status $?)"
    echo "second copy ended after $((SECONDS - start)) s or less"
    ! main_windows | grep -qvx "$window" || fail "a second main window appeared"
}

window=
trace="$XDG_RUNTIME_DIR/first.trace"
QVLINK_TRACE_STARTUP=1 "$QVLINK" 2>"$trace" &
first=$!
pids+=("$first")
wait_for 10 one_main_window || fail "the first copy showed no window"
window=$(main_windows)
# The window's icons: the big and small ones from the start, the larger sizes once it is up.
# _NET_WM_ICON holds width, height and width x height pixels for each size in turn (-len: all
# of it, not just xprop's first 64 KiB).
icon_sizes() {
    xprop -len 16000000 -id "$window" -notype 32c _NET_WM_ICON 2>/dev/null | python3 -c '
import sys
text = sys.stdin.read()
values = [int(v) for v in text.partition("=")[2].replace(",", " ").split()] if "=" in text else []
i = 0
while i + 1 < len(values):
    print(f"{values[i]}x{values[i + 1]}")
    i += 2 + values[i] * values[i + 1]
'
}
has_icon() { icon_sizes | grep -qx "$1x$1"; }
for size in 16 32 256; do
    wait_for 5 has_icon "$size" || fail "the window has no ${size}x$size icon"
done

# Another program's window in front of it.
xmessage -geometry 600x500+0+0 "another program" &
pids+=("$!")
wait_for 5 not_active "$first" || fail "the other window did not take the focus"

second_start
wait_for 5 active_is "$first" || fail "the running copy was not brought to the front"

# Minimised, then started again: it comes back.
xdotool windowminimize "$window"
wait_for 5 hidden "$window" || fail "the window did not minimise"
second_start
wait_for 5 shown "$window" || fail "the minimised window was not restored"
wait_for 5 active_is "$first" || fail "the restored window is not in front"
kill -0 "$first" || fail "the first copy ended"

# Started from a launcher: the startup-notification id carries the time of the user's action
# (the X server's clock is the monotonic one, in milliseconds). The running copy takes it.
startup_id_is() {
    [ "$(xprop -id "$window" -notype _NET_STARTUP_ID 2>/dev/null)" = "_NET_STARTUP_ID = \"$1\"" ]
}
xmessage -geometry 600x500+0+0 "another program, again" &
pids+=("$!")
wait_for 5 not_active "$first" || fail "the other window did not take the focus"
now=$(python3 -c 'import time; print(int(time.monotonic() * 1000) & 0xffffffff)')
id="qvlink-test-$$-launcher_TIME$now"
DESKTOP_STARTUP_ID=$id XDG_ACTIVATION_TOKEN=not-for-x11 second_start
wait_for 5 startup_id_is "$id" || fail "the running copy did not take the startup id: $(xprop -id "$window" _NET_STARTUP_ID; cat "$trace")"
wait_for 5 active_is "$first" || fail "the running copy did not come to the front with the startup id"
grep -q ' activated with the startup id$' "$trace" || fail "no activation with the startup id: $(cat "$trace")"
! grep -q 'xdg-activation' "$trace" || fail "a Wayland token was used on X11"

# A copy that holds the lock but has no window yet: a stand-in that only takes the lock, as a
# starting copy does before it makes its window. The second start ends silently.
export XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR/starting"
mkdir -m 700 "$XDG_RUNTIME_DIR"
python3 - "$XDG_RUNTIME_DIR/QV Link" <<'PY' &
import fcntl, os, socket, sys, time
fd = os.open(sys.argv[1], os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
name = os.path.basename(os.readlink("/proc/self/exe"))
os.write(fd, f"{os.getpid()}\n{name}\n{socket.gethostname()}\n".encode())
fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
time.sleep(30)
PY
pids+=("$!")
wait_for 5 test -s "$XDG_RUNTIME_DIR/QV Link" || fail "the stand-in took no lock"
before=$(xdotool search --onlyvisible --name '.' 2>/dev/null | sort)
second_start
sleep 0.3
after=$(xdotool search --onlyvisible --name '.' 2>/dev/null | sort)
[ "$before" = "$after" ] || fail "a window appeared: $(comm -13 <(echo "$before") <(echo "$after"))"
[ -s "$XDG_RUNTIME_DIR/QV Link" ] || fail "the second copy took the lock from the starting copy"
echo "1 passed, 0 failed"
