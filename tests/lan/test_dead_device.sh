#!/usr/bin/env bash
# A device that accepts the connection and never answers, one that refuses connections, one
# whose location has no path, and a slow one that trickles its description: the search still
# ends by itself and publishes the slow device and a normal one, and none of the others.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3 timeout
lan_init
lan_create 5

lan_device 1 silent --http-mode silent --friendly-name "Silent"
lan_device 2 refuse --http-mode refuse --friendly-name "Refusing" --delay-ms 100
lan_device 2 nopath --location "http://{addr}:{port}" --friendly-name "No path" --delay-ms 150
lan_device 3 slow --http-mode slow --piece-bytes 64 --slow-ms 300 --friendly-name "Slow" --delay-ms 200
lan_device 4 normal --friendly-name "Normal" --delay-ms 300

# The search is bounded by its own waits (the 5 s read wait for the silent device); the
# timeout only turns a hang into a clear failure.
start=$(date +%s)
timeout 90 ip netns exec "$(lan_ns 0)" "$LAN_SCAN" >"$LAN_TMP/scan.out" 2>"$LAN_TMP/scan.err"
rc=$?
[ $rc -eq 124 ] && fail "the search did not end"
[ $rc -eq 0 ] || fail "qvlink-scan exited $rc"
echo "search took $(($(date +%s) - start)) s"

[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 2 ] || fail "expected 2 records: $(cat "$LAN_TMP/scan.out")"
expect_fields scan.out "$(lan_hp 3 slow)" 4 Slow
expect_fields scan.out "$(lan_hp 3 slow)" 13 "http://$(lan_addr 3)/"
expect_fields scan.out "$(lan_hp 4 normal)" 4 Normal
[ "$(lan_gets "$LAN_TMP/silent.log")" -eq 1 ] || fail "the silent device was not asked"
[ "$(lan_gets "$LAN_TMP/nopath.log")" -eq 0 ] || fail "a location without a path was fetched"
grep -q "Socket error: connect" "$LAN_TMP/scan.err" || fail "no connect diagnostic for the refusing device"
grep -q "Socket error" "$LAN_TMP/scan.out" && fail "diagnostics leaked into the table output"
echo "PASS: silent and refusing devices skipped, search ended"
