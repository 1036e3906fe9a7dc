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
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 4 ] || { cat "$LAN_TMP/scan.out"; fail "expected 4 records"; }
check() {
    local host=$1 name=$2 text=$3 hp
    hp="$(lan_addr "$host"):$(lan_ports "$name")"
    [ "$(tsv_field scan.out "$hp" 4)" = "$text" ] || fail "$name: friendlyName '$(tsv_field scan.out "$hp" 4)'"
    [ "$(tsv_field scan.out "$hp" 3)" = QvNAS ] || fail "$name: deviceType"
    # presentationURL is the last element: its value proves the body was read to the end.
    [ "$(tsv_field scan.out "$hp" 13)" = "http://$(lan_addr "$host")/" ] || fail "$name: body cut short"
    [ "$(tsv_field scan.out "$hp" 14)" = presentationURL ] || fail "$name: last element"
}
check 1 length "By length"
check 2 chunked "Chunked whole"
check 3 pieces "Chunked in pieces"
check 4 close "Read to close"
# Three answers with one USN: fetched once per search.
[ "$(lan_gets "$LAN_TMP/close.log")" -eq 2 ] || fail "repeated answers fetched $(lan_gets "$LAN_TMP/close.log") times"
echo "PASS: length, chunked, split chunked and read-to-close descriptions"
