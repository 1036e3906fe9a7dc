#!/usr/bin/env bash
# Descriptions framed by content length, by chunks (one chunk; many small chunks whose size
# lines arrive split over several reads) and by closing the connection are all read whole.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_create 5

lan_device 1 length --framing length --friendly-name "By length" --header-case title \
    --extra-header "X-Filler: $(printf 'x%.0s' $(seq 200))"
lan_device 2 chunked --framing chunked --friendly-name "Chunked whole" --delay-ms 100
lan_device 3 pieces --framing chunked --chunk-bytes 7 --http-mode slow --piece-bytes 9 --slow-ms 5 \
    --friendly-name "Chunked in pieces" --delay-ms 200
lan_device 4 close --framing close --friendly-name "Read to close" --delay-ms 300 --repeats 3

lan_search 0 scan
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 4 ] || fail "expected 4 records: $(cat "$LAN_TMP/scan.out")"
# presentationURL is the last element: its value proves the body was read to the end.
for host_name in "1 length By length" "2 chunked Chunked whole" "3 pieces Chunked in pieces" "4 close Read to close"; do
    read -r host name text <<<"$host_name"
    expect_fields scan.out "$(lan_hp "$host" "$name")" 3 QvNAS "$text"
    expect_fields scan.out "$(lan_hp "$host" "$name")" 13 "http://$(lan_addr "$host")/" presentationURL
done
# Three answers with one USN: fetched once per search.
[ "$(lan_gets "$LAN_TMP/close.log")" -eq 2 ] || fail "repeated answers fetched $(lan_gets "$LAN_TMP/close.log") times"
echo "PASS: length, chunked, split chunked and read-to-close descriptions"
