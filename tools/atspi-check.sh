#!/usr/bin/env bash
# Starts the program under Xvfb with a session bus and the accessibility bus, in a network
# namespace of its own with only loopback (the program searches when it starts), prints the
# accessibility tree that AT-SPI exposes and fails when a control has no name.
#
#   tools/atspi-check.sh QVLINK
#
# Needs root, unshare, Xvfb, dbus-run-session, at-spi2-core and python3-gi with Atspi 2.0.
set -u
if [ "${1:-}" != "--inside" ]; then
    QVLINK=$(realpath "$1")
    exec unshare --net dbus-run-session -- "$0" --inside "$QVLINK"
fi
QVLINK=$2
HERE=$(cd "$(dirname "$0")" && pwd)
ip link set lo up && ip route add default dev lo src 127.0.0.1 || exit 1
RUN=$(mktemp -d /tmp/qvatspi.XXXXXX)
chmod 700 "$RUN"
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$RUN"
}
trap cleanup EXIT
export DISPLAY=:82 XDG_RUNTIME_DIR=$RUN LANG=C.UTF-8 LC_ALL= LANGUAGE=
Xvfb :82 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
PIDS+=($!)
sleep 1
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$QVLINK" >"$RUN/qvlink.log" 2>&1 &
PIDS+=($!)
/usr/bin/python3 "$HERE/atspi_tree.py" qvlink 15
