#!/usr/bin/env bash
# Closing the window while a share listing hangs ends the process at once: the real program
# on the X display of x11-session.sh, in the test LAN, finds a maker's device whose port 445
# accepts the connection and never answers; a click on the device starts the listing, and once
# the server holds the connection the close button is clicked. The process must be gone within
# 1 s with status 0 and no sanitizer report (the SMB thread is still inside the library then).
#   test_quick_exit.sh QVLINK DEVICE SMBSERVER   (run by ctest as netns-run.sh x11-session.sh ...)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lan.sh"
source "$here/shares.sh"
qvlink=$1 LAN_DEVICE=$2 smbserver=$3
[ -x "$qvlink" ] || fail "no program at $qvlink"
lan_require xdotool /usr/bin/python3
/usr/bin/python3 -c 'import impacket' 2>/dev/null || skip "python3-impacket is not installed"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run under x11-session.sh"
display=$DISPLAY
lan_init
lan_create 2

# Host 1: the maker's device, and on its address a port 445 that never answers.
lan_device 1 device
lan_start 1 silent /usr/bin/python3 "$smbserver" --addr "$(lan_addr 1)" --mode silent --log "$LAN_TMP/silent.log" \
    --ready "$LAN_TMP/silent.ready" --lifetime 90
lan_wait silent test -s "$LAN_TMP/silent.ready"

gvfs_home
export DISPLAY="$display"
# As a user runs it: an ordinary account, its own HOME and runtime folder.
chmod 755 "$LAN_TMP"
chown -R nobody:nogroup "$LAN_TMP/home"
ip netns exec "$(lan_ns 0)" setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env DISPLAY="$display" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 LC_ALL= LANGUAGE= DBUS_SESSION_BUS_ADDRESS=disabled: \
    "$qvlink" >"$LAN_TMP/qvlink.out" 2>&1 &
pid=$!
LAN_PIDS+=("$pid")

window=
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --pid "$pid" --name '^QV Link$' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$window" ] || { cat "$LAN_TMP/qvlink.out" >&2; fail "no window"; }

# The first device row is clicked until the listing has reached the silent port (the row
# appears once the search has found the device).
for _ in $(seq 60); do
    grep -q ' accept ' "$LAN_TMP/silent.log" 2>/dev/null && break
    xdotool mousemove --window "$window" --sync 120 154 click 1
    sleep 0.5
done
grep -q ' accept ' "$LAN_TMP/silent.log" || { cat "$LAN_TMP/qvlink.out" >&2; fail "the listing never reached the server"; }
# Well inside the library's 3 s wait for the server's answer.
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "the program ended before its window was closed"

start=$(date +%s%N)
xdotool mousemove --window "$window" --sync 476 20 click 1
# Bounded: a program that does not end is killed after 10 s, which fails below.
(sleep 10 && kill -KILL "$pid" 2>/dev/null) &
watchdog=$!
wait "$pid"
rc=$?
ms=$((($(date +%s%N) - start) / 1000000))
kill "$watchdog" 2>/dev/null
wait "$watchdog" 2>/dev/null
echo "the program ended ${ms} ms after its close button, status $rc"
if grep -qE 'Sanitizer|runtime error' "$LAN_TMP/qvlink.out"; then
    cat "$LAN_TMP/qvlink.out" >&2
    fail "a sanitizer report"
fi
[ "$rc" -eq 0 ] || { cat "$LAN_TMP/qvlink.out" >&2; fail "exit status $rc"; }
[ "$ms" -lt 1000 ] || fail "the process took ${ms} ms to end"
echo "PASS: the window closed during a hanging listing and the process ended in ${ms} ms"
