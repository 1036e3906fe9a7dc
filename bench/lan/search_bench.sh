#!/usr/bin/env bash
# Search benchmark in a test LAN: 1, 10 and 50 scriptable maker devices on one host answer at
# known delays (device i at DELAY0 + i * STEP ms after the M-SEARCH). For each run it prints,
# per device, the time from its answer to the publication of its record by qvlink-scan, and the
# time from the last answer to done = 1; beside them, GSSDP's (Debian's library, through
# gssdp_reference.py) time from its answer to its report of the device. GSSDP reports from the
# SSDP answer alone, qvlink-scan fetches and parses each description first (one at a time).
# Figures only; nothing is asserted.
#
# usage: search_bench.sh QVLINK_SCAN [COUNTS...]    (root; default counts: 1 10 50)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../tests/lan/lan.sh"
LAN_SCAN=$1
shift
LAN_DEVICE="$here/../../tests/lan/qvlink-testdevice.py"
counts=("$@")
[ ${#counts[@]} -eq 0 ] && counts=(1 10 50)
DELAY0=${DELAY0:-100}
STEP=${STEP:-20}

lan_require python3 /usr/bin/python3
/usr/bin/python3 -c 'import gi; gi.require_version("GSSDP", "1.6")' 2>/dev/null ||
    { echo "SKIP: GSSDP introspection data (gir1.2-gssdp-1.6, python3-gi) missing" >&2; exit 77; }
lan_init
lan_create 3 # host 0: qvlink-scan, host 1: GSSDP reference, host 2: the devices

for n in "${counts[@]}"; do
    name="dev$n"
    LAN_DEVICE_LIFETIME=60 lan_device 2 "$name" --count "$n" --delay-ms "$DELAY0" --delay-step-ms "$STEP" \
        --friendly-name "Bench {i}"
    lan_scan 0 "scan$n" --timings || fail "qvlink-scan exited $?"
    sleep 1
    ip netns exec "$(lan_ns 1)" /usr/bin/python3 "$here/gssdp_reference.py" "$(lan_if 1)" \
        $(((DELAY0 + n * STEP) / 1000 + 3)) >"$LAN_TMP/gssdp$n.out" 2>"$LAN_TMP/gssdp$n.err" ||
        { cat "$LAN_TMP/gssdp$n.err" >&2; fail "GSSDP reference failed"; }
    # Stop this run's devices before the next run starts its own.
    kill -TERM "${LAN_PIDS[-1]}" 2>/dev/null
    wait "${LAN_PIDS[-1]}" 2>/dev/null
    unset 'LAN_PIDS[-1]'

    echo "== $n device(s), answers at $DELAY0 + i*$STEP ms; qvlink-scan wall time $(cat "$LAN_TMP/scan$n.ms") ms"
    python3 "$here/bench_table.py" "$LAN_TMP/$name.log" "$LAN_TMP/scan$n.out" "$LAN_TMP/scan$n.err" \
        "$LAN_TMP/gssdp$n.out" "$(lan_addr 0)" "$(lan_addr 1)" "$DELAY0" "$STEP" || fail "table"
    echo
done
