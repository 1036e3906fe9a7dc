#!/usr/bin/env bash
# qvlink-scan giving up at its time limit while the worker still runs: the output is written
# while the worker goes on and writes a diagnostic (a refused fetch), and stays well-formed
# JSON with the records published before the limit; the diagnostic goes to standard error.
# The output pipe is kept full (4 KiB, read only after 9 s) so that the worker writes while
# the table is being written.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_create 4

lan_device 1 many --count 12 --delay-step-ms 5 --friendly-name "A device with a long name to fill the pipe {i}"
# About 5 s of description in 64-byte pieces, then a refused fetch: both after the limit.
lan_device 2 slow --http-mode slow --piece-bytes 64 --slow-ms 300 --delay-ms 300
lan_device 3 refuse --http-mode refuse --delay-ms 400

ip netns exec "$(lan_ns 0)" "$LAN_SCAN" --json --time-limit 2 2>"$LAN_TMP/limit.err" |
    python3 -c 'import fcntl, sys, time
fcntl.fcntl(0, 1031, 4096)  # F_SETPIPE_SZ
time.sleep(9)
sys.stdout.buffer.write(sys.stdin.buffer.read())' >"$LAN_TMP/limit.out"
rc=${PIPESTATUS[0]}
[ "$rc" -eq 1 ] || fail "qvlink-scan exited $rc at its time limit"
python3 -c 'import json, sys
records = json.load(open(sys.argv[1]))
assert len(records) == 12, len(records)' "$LAN_TMP/limit.out" || fail "output: $(cat "$LAN_TMP/limit.out")"
grep -q '^Socket error: connect, 111$' "$LAN_TMP/limit.err" ||
    fail "the worker's diagnostic is not on standard error: $(cat "$LAN_TMP/limit.err")"
grep -q '^qvlink-scan: the search did not end within 2 s$' "$LAN_TMP/limit.err" || fail "no time-limit message"
echo "PASS: well-formed output at the time limit"
