#!/usr/bin/env bash
# A computer on two LANs at once (say wired and wireless), with a third interface whose sending
# is refused: the M-SEARCH goes out on both LANs, the same bytes on each, from each interface's
# own address; the NAS of each LAN is listed, in the order their answers arrived (the LAN
# without the default route answers first); the interface that cannot send costs one
# diagnostic line and nothing else.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3 nft
lan_init
lan_host 0
lan_link 0 1 10.77.1.1/24
lan_link 0 2 10.77.2.1/24
lan_link 0 3 10.77.3.1/24
ip -n "$(lan_ns 0)" route add default dev "$(lan_link_if 0 1)"
# Sending out of the third interface fails (EPERM), as on an interface the system will not use.
ip netns exec "$(lan_ns 0)" nft -f - <<NFT || fail "nft"
table inet qvl {
    chain out {
        type filter hook output priority 0;
        oifname "$(lan_link_if 0 3)" drop
    }
}
NFT
lan_host 1
lan_link 1 1 10.77.1.2/24
lan_host 2
lan_link 2 2 10.77.2.2/24
lan_host 3
lan_link 3 3 10.77.3.2/24

lan_device_at 1 10.77.1.2 wired --friendly-name "Wired NAS" --delay-ms 300
lan_device_at 2 10.77.2.2 wireless --friendly-name "Wireless NAS" --delay-ms 50
lan_device_at 3 10.77.3.2 blocked --friendly-name "Blocked NAS"
lan_search 0 scan

[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 2 ] || fail "expected 2 records: $(cat "$LAN_TMP/scan.out")"
[ "$(cut -f4 "$LAN_TMP/scan.out" | tr '\n' '|')" = "Wireless NAS|Wired NAS|" ] ||
    fail "not in order of arrival: $(cut -f4 "$LAN_TMP/scan.out")"
expect_fields scan.out "$(hp_of 10.77.1.2 wired)" 2 listed
expect_fields scan.out "$(hp_of 10.77.2.2 wireless)" 2 listed
for dev in wired:10.77.1.1 wireless:10.77.2.1; do
    log="$LAN_TMP/${dev%%:*}.log"
    [ "$(grep -c ' msearch ' "$log")" -eq 2 ] || fail "${dev%%:*}: not one M-SEARCH per search: $(grep msearch "$log")"
    grep ' msearch ' "$log" | grep -qv "from=${dev#*:}:" && fail "${dev%%:*}: an M-SEARCH not from ${dev#*:}"
    grep ' msearch ' "$log" | grep -qv " hex=$LAN_MSEARCH_HEX\$" && fail "${dev%%:*}: M-SEARCH bytes differ"
done
[ "$(lan_gets "$LAN_TMP/blocked.log")" -eq 0 ] || fail "the blocked interface's device was reached"
[ "$(grep -c 'Socket error: sendto, 1$' "$LAN_TMP/scan.err")" -eq 1 ] ||
    fail "expected one sendto diagnostic: $(cat "$LAN_TMP/scan.err")"
echo "PASS: both LANs searched and listed in order of arrival; the blocked interface passed over"
