#!/usr/bin/env bash
# Search benchmark on a computer with 1, 2, 4 and 8 interfaces, each on a LAN of its own with
# one maker NAS that answers DELAY ms after the M-SEARCH. For each count, RUNS searches; per
# search: the time from the search's start to the last device published and to the search's
# end (done = 1), and from the last answer sent to the end. Medians are printed. With a second
# binary (the single-interface search of an earlier build), its figures for one interface are
# printed beside them. Figures only; nothing is asserted.
#
# usage: interfaces_bench.sh QVLINK_SCAN [EARLIER_QVLINK_SCAN]   (root; RUNS=5 DELAY=100)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../tests/lan/lan.sh"
LAN_SCAN=$1
EARLIER=${2:-}
LAN_DEVICE="$here/../../tests/lan/qvlink-testdevice.py"
RUNS=${RUNS:-5}
DELAY=${DELAY:-100}
MAX=8

lan_require python3
lan_init
lan_host 0
for ((k = 1; k <= MAX; k++)); do
    lan_link 0 "$k" "10.77.$k.1/24"
    lan_host "$k"
    lan_link "$k" "$k" "10.77.$k.2/24"
done
ip -n "$(lan_ns 0)" route add default dev "$(lan_link_if 0 1)"
for ((k = 1; k <= MAX; k++)); do
    LAN_DEVICE_LIFETIME=600 lan_device_at "$k" "10.77.$k.2" "nas$k" --delay-ms "$DELAY" --answer-limit 10000 \
        --friendly-name "NAS $k"
done

# run BINARY LABEL N: RUNS searches with interfaces 1..N up, one figures line each.
run() {
    local binary=$1 label=$2 n=$3 k r
    for ((k = 1; k <= MAX; k++)); do
        ip -n "$(lan_ns 0)" link set "$(lan_link_if 0 "$k")" "$([ "$k" -le "$n" ] && echo up || echo down)"
    done
    ip -n "$(lan_ns 0)" route replace default dev "$(lan_link_if 0 1)"
    sleep 0.2
    for ((r = 0; r < RUNS; r++)); do
        ip netns exec "$(lan_ns 0)" "$binary" --timings >"$LAN_TMP/scan.out" 2>"$LAN_TMP/scan.err" ||
            fail "$label exited $?"
        python3 "$here/interfaces_table.py" run "$label" "$n" "$LAN_TMP/scan.out" "$LAN_TMP/scan.err" \
            "$LAN_TMP"/nas*.log >>"$LAN_TMP/figures" || fail "figures"
        sleep 0.3
    done
}

: >"$LAN_TMP/figures"
[ -n "$EARLIER" ] && run "$EARLIER" earlier 1
for n in 1 2 4 8; do
    run "$LAN_SCAN" current "$n"
done
python3 "$here/interfaces_table.py" table "$LAN_TMP/figures"
