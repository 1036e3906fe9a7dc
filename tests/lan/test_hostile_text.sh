#!/usr/bin/env bash
# Hostile devices. Device text with tabs, line ends, quotes, backslashes, control bytes, bytes
# that are not UTF-8, C1 controls and bidirectional overrides: the TSV output keeps one line per
# record with the bytes escaped as documented, and the JSON output (checked against the TSV by
# lan_search) parses and carries the same text. Devices that send empty datagrams around their
# answer, drip their description, send chunk extensions split across reads, point their
# location at another host, or flood the search with answers whose fetch fails: the search
# still ends in bounded time, lists the devices that deserve it and fetches nothing it must not.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_create 10

hex() { od -An -v -tx1 | tr -d ' \n'; }
a126=$(printf 'A%.0s' $(seq 126))
lan_device 1 hostile --friendly-name-hex "$(printf 'Tab\tnl\ncr\rq"bs\\ c\x01\x1b\x7f bad\xff\xc3( \xc3\xa9 &amp;' | hex)"
# 126 letters and a two-byte character: the 127-byte field cuts the character in half.
lan_device 2 cut --friendly-name-hex "$(printf '%s' "$a126" | hex)c3a9" --delay-ms 100
lan_device 3 plain --friendly-name "Plain" --delay-ms 200
# CSI and OSC as C1 characters, a lone C1 byte, a right-to-left override and an isolate.
lan_device 4 controls --friendly-name-hex "$(printf 'x\xc2\x9b31m\xc2\x9d0;t\x9by\xe2\x80\xaeevil\xe2\x81\xa6z\xe2\x81\xa9' | hex)" \
    --delay-ms 250
lan_device 5 empties --friendly-name "Behind empties" --empty-datagrams 3 --delay-ms 300
# Split inside the extension of every size line, and a header read a byte at a time.
lan_device 6 splitext --framing chunked --chunk-bytes 100 --chunk-ext ';ext=1' --http-mode slow --piece-bytes 1 \
    --slow-ms 1 --friendly-name "Split extensions" --delay-ms 350
# Another device's description, announced from this host: never fetched.
lan_device 7 elsewhere --location "http://$(lan_hp 3 plain)/desc-0.xml" --delay-ms 400
# One byte every 4 s: each wait is satisfied, the whole fetch is not.
lan_device 8 drip --http-mode slow --piece-bytes 1 --slow-ms 4000 --friendly-name "Drip" --delay-ms 450
lan_device 9 before --friendly-name "Before the flood" --delay-ms 500
# 25 answers whose fetch is refused; the search stops fetching at 20, so the device after them
# is not fetched either.
lan_device 9 flood --http-mode refuse --count 25 --delay-ms 600 --delay-step-ms 2
lan_device 9 after --friendly-name "After the flood" --delay-ms 800

lan_search 0 scan
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 7 ] || fail "expected 7 lines: $(cat -A "$LAN_TMP/scan.out")"
expect_fields scan.out "$(lan_hp 1 hostile)" 4 'Tab\tnl\ncr\rq"bs\\ c\x01\x1b\x7f bad'$'\xff\xc3'"( "$'\xc3\xa9'" &amp;"
expect_fields scan.out "$(lan_hp 2 cut)" 4 "$a126"$'\xc3'
expect_fields scan.out "$(lan_hp 4 controls)" 4 'x\u009b31m\u009d0;t\x9by\u202eevil\u2066z\u2069'
expect_fields scan.out "$(lan_hp 5 empties)" 4 "Behind empties"
expect_fields scan.out "$(lan_hp 6 splitext)" 4 "Split extensions"
expect_fields scan.out "$(lan_hp 9 before)" 4 "Before the flood"
# In the JSON, control and lone bytes are \u00XX escapes; valid UTF-8 stays as it is.
grep -qF 'c\u0001\u001b\u007f bad\u00ff\u00c3( '$'\xc3\xa9' "$LAN_TMP/scan-json.out" || fail "JSON escaping: $(cat "$LAN_TMP/scan-json.out")"
grep -qF '"x\u009b31m\u009d0;t\u009by\u202eevil\u2066z\u2069"' "$LAN_TMP/scan-json.out" ||
    fail "JSON escaping of terminal controls: $(cat "$LAN_TMP/scan-json.out")"
# Each of the two searches: the drip device fetched (and cut off), the announced other host
# never; of the flood, 20 fetches tried; the device after it never fetched.
[ "$(lan_gets "$LAN_TMP/elsewhere.log")" -eq 0 ] || fail "a location on another host was fetched"
[ "$(lan_gets "$LAN_TMP/plain.log")" -eq 2 ] || fail "the plain device was fetched $(lan_gets "$LAN_TMP/plain.log") times"
[ "$(lan_gets "$LAN_TMP/after.log")" -eq 0 ] || fail "a device after the failed-fetch limit was fetched"
[ "$(lan_gets "$LAN_TMP/drip.log")" -eq 2 ] || fail "the dripping device was fetched $(lan_gets "$LAN_TMP/drip.log") times"
# The drip holds each search for the fetch deadline (10 s), no longer.
for run in scan scan-json; do
    ms=$(cat "$LAN_TMP/$run.ms")
    [ "$ms" -lt 16000 ] || fail "$run took $ms ms"
done
echo "PASS: hostile text escaped in TSV and JSON; hostile devices fixed"
