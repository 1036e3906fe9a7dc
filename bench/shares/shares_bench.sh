#!/usr/bin/env bash
# Share listing benchmark in a test LAN against one smbd: the time from a click in the device
# list to the filled share list (bench_share_click, the real window), beside `smbclient -L
# //host -N` (a whole process each time) and `gio list smb://host/` (gvfsd kept warm by one D-Bus
# session). The first run of each is shown apart. Figures only; nothing is asserted.
#
# usage: shares_bench.sh BENCH_SHARE_CLICK [RUNS]    (root; default 20 runs)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../tests/lan/lan.sh"
source "$here/../../tests/lan/shares.sh"
click=$1 runs=${2:-20}
lan_require smbd smbclient gio dbus-run-session python3
lan_init
trap 'gvfs_cleanup; lan_teardown' EXIT
lan_create 2
smb_server 1 nas "    map to guest = Bad User" "
[public]
    path = @DIR@
    comment = Public files
    guest ok = yes
[media]
    path = @DIR@
    guest ok = yes
[backup]
    path = @DIR@
    guest ok = yes
"
host=$(lan_addr 1)
gvfs_home
ns=$(lan_ns 0)

# smbd's own first connection after its start costs it seconds; that is not the client's time.
ip netns exec "$ns" smbclient -L "//$host" -N >/dev/null 2>&1

ip netns exec "$ns" env QT_QPA_PLATFORM=offscreen "$click" "$host" "$runs" >"$LAN_TMP/click.ms" 2>"$LAN_TMP/click.err" ||
    fail "bench_share_click: $(cat "$LAN_TMP/click.err")"

: >"$LAN_TMP/smbclient.ms"
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    ip netns exec "$ns" smbclient -L "//$host" -N >/dev/null 2>&1
    took=$(($(date +%s%N) - start))
    printf '%d.%02d\n' $((took / 1000000)) $((took / 10000 % 100)) >>"$LAN_TMP/smbclient.ms"
done

# gvfsd writes to the session's standard output, so the times go to their own file.
: >"$LAN_TMP/gio.ms"
ip netns exec "$ns" env GIO_MS="$LAN_TMP/gio.ms" dbus-run-session -- bash -c '
    gio mount -a "smb://'"$host"'/" >/dev/null 2>&1
    for _ in $(seq '"$runs"'); do
        start=$(date +%s%N)
        gio list "smb://'"$host"'/" >/dev/null 2>&1
        took=$(($(date +%s%N) - start))
        printf "%d.%02d\n" $((took / 1000000)) $((took / 10000 % 100)) >>"$GIO_MS"
    done' >"$LAN_TMP/gio.err" 2>&1

python3 - "$LAN_TMP" "$runs" <<'PY'
import statistics, sys
tmp, runs = sys.argv[1], int(sys.argv[2])
rows = [("click to share list (qvlink window)", "click.ms"), ("smbclient -L //host -N", "smbclient.ms"),
        ("gio list smb://host/ (warm gvfsd)", "gio.ms")]
print(f"share listing against one smbd, {runs} runs each, times in ms")
print(f"{'':38} {'first':>8} {'min':>8} {'median':>8} {'max':>8}  (of runs 2..{runs})")
for label, name in rows:
    values = [float(v) for v in open(f"{tmp}/{name}").read().split()]
    if len(values) < 2:
        print(f"{label:38} no data")
        continue
    rest = values[1:]
    print(f"{label:38} {values[0]:8.2f} {min(rest):8.2f} {statistics.median(rest):8.2f} {max(rest):8.2f}")
PY
