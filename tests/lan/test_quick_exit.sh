#!/usr/bin/env bash
# Closing the window while SMB work hangs ends the process at once: the real program on the X
# display of x11-session.sh, in the test LAN, as an ordinary user.
# 1. A listing: a maker's device whose port 445 accepts the connection and never answers; a
#    click on the device starts the listing, and once the server holds the connection the
#    close button is clicked (the SMB thread is inside the library then).
# 2. A mount: a device with a real smbd; its share is listed, smbd is stopped (SIGSTOP) and
#    Map Drive clicked, so the GVfs mount hangs; then the close button.
# Each time the process must be gone within 1 s with status 0 and no sanitizer report.
#   test_quick_exit.sh QVLINK DEVICE SMBSERVER   (run by ctest as netns-run.sh x11-session.sh ...)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lan.sh"
source "$here/shares.sh"
qvlink=$1 LAN_DEVICE=$2 smbserver=$3
[ -x "$qvlink" ] || fail "no program at $qvlink"
lan_require xdotool smbd dbus-run-session /usr/bin/python3
/usr/bin/python3 -c 'import impacket' 2>/dev/null || skip "python3-impacket is not installed"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run under x11-session.sh"
display=$DISPLAY
lan_init
trap 'gvfs_cleanup; lan_teardown' EXIT
lan_create 3

# Places in the window, which has a fixed layout: the first row of each list, the buttons.
DEVICE_ROW=(120 154) SHARE_ROW=(120 397) MAP_BUTTON=(304 546) CLOSE_BUTTON=(476 20)

# start_program NAME [WRAPPER...]: the program as nobody in host 0; sets pid and window.
start_program() {
    local name=$1
    shift
    ip netns exec "$(lan_ns 0)" setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env DISPLAY="$display" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 LC_ALL= LANGUAGE= "$@" "$qvlink" \
        >"$LAN_TMP/$name.out" 2>&1 &
    pid=$!
    LAN_PIDS+=("$pid")
    window=
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --name '^QV Link$' 2>/dev/null | head -n 1)
        [ -n "$window" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$window" ] || { cat "$LAN_TMP/$name.out" >&2; fail "$name: no window"; }
}

# smb_connected HOST: a client holds a connection to HOST's port 445.
smb_connected() { ip netns exec "$(lan_ns "$1")" ss -Htn state established '( sport = :445 )' | grep -q .; }

click() { xdotool mousemove --window "$window" --sync "$1" "$2" click 1; }

# click_until NAME COMMAND...: clicks the first device row until COMMAND succeeds (the row
# appears once the search has found the device), for up to 30 s.
click_until() {
    local name=$1
    shift
    for _ in $(seq 60); do
        "$@" 2>/dev/null && return 0
        click "${DEVICE_ROW[@]}"
        sleep 0.5
    done
    cat "$LAN_TMP/$name.out" >&2
    fail "$name: the listing never reached the server"
}

# close_and_time NAME: clicks the close button; the process must end within 1 s, status 0.
close_and_time() {
    local name=$1 start ms rc watchdog
    kill -0 "$pid" 2>/dev/null || fail "$name: the program ended before its window was closed"
    start=$(date +%s%N)
    click "${CLOSE_BUTTON[@]}"
    # Bounded: a program that does not end is killed after 10 s, which fails below.
    (sleep 10 && kill -KILL "$pid" 2>/dev/null) &
    watchdog=$!
    wait "$pid"
    rc=$?
    ms=$((($(date +%s%N) - start) / 1000000))
    kill "$watchdog" 2>/dev/null
    wait "$watchdog" 2>/dev/null
    echo "$name: the program ended ${ms} ms after its close button, status $rc"
    if grep -qE 'Sanitizer|runtime error' "$LAN_TMP/$name.out"; then
        cat "$LAN_TMP/$name.out" >&2
        fail "$name: a sanitizer report"
    fi
    [ "$rc" -eq 0 ] || { cat "$LAN_TMP/$name.out" >&2; fail "$name: exit status $rc"; }
    [ "$ms" -lt 1000 ] || fail "$name: the process took ${ms} ms to end"
}

gvfs_home
export DISPLAY="$display"
chmod 755 "$LAN_TMP"
chown -R nobody:nogroup "$LAN_TMP/home"

# 1. Host 1: the maker's device, and on its address a port 445 that never answers.
lan_device 1 device1
device1=${LAN_PIDS[-1]}
lan_start 1 silent /usr/bin/python3 "$smbserver" --addr "$(lan_addr 1)" --mode silent --log "$LAN_TMP/silent.log" \
    --ready "$LAN_TMP/silent.ready" --lifetime 90
lan_wait silent test -s "$LAN_TMP/silent.ready"
start_program listing DBUS_SESSION_BUS_ADDRESS=disabled:
click_until listing grep -q ' accept ' "$LAN_TMP/silent.log"
# Well inside the library's 3 s wait for the server's answer.
sleep 0.5
close_and_time listing
lan_stop_pids 0 "$device1"

# 2. Host 2: a device with a guest share on smbd; the mount hangs on the stopped server.
smb_server 2 nas "    map to guest = Bad User" "
[public]
    path = @DIR@
    guest ok = yes
"
lan_device 2 device2
start_program mount dbus-run-session --
click_until mount smb_connected 2
sleep 1
click "${SHARE_ROW[@]}"
kill -STOP "$(cat "$LAN_TMP/nas.pid")"
click "${MAP_BUTTON[@]}"
# The mount is under way once GVfs's SMB backend runs; it then waits on the stopped server.
mounting() { ip netns pids "$(lan_ns 0)" | xargs -r ps -o comm= -p | grep -q '^gvfsd-smb$'; }
for _ in $(seq 50); do mounting && break; sleep 0.1; done
mounting || fail "mount: Map Drive started no mount"
sleep 1
close_and_time mount
# The stopped server goes, so that the session's GVfs daemons see their connection end.
kill -KILL "$(cat "$LAN_TMP/nas.pid")"
for _ in $(seq 50); do
    [ -z "$(ip netns pids "$(lan_ns 0)")" ] && break
    sleep 0.1
done
echo "PASS: the window closed during a hanging listing and a hanging mount, and the process ended at once"
