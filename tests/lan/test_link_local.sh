#!/usr/bin/env bash
# A NAS cabled straight to a second network port: both ends have only link-local addresses
# (169.254.x.x). The search goes out there too, and the NAS is listed beside the one on the
# LAN of the default route.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_host 0
lan_link 0 1 10.77.1.1/24
lan_link 0 2 169.254.10.1/16
ip -n "$(lan_ns 0)" route add default dev "$(lan_link_if 0 1)"
lan_host 1
lan_link 1 1 10.77.1.2/24
lan_host 2
lan_link 2 2 169.254.20.2/16
lan_device_at 1 10.77.1.2 lan --friendly-name "LAN NAS" --delay-ms 50
lan_device_at 2 169.254.20.2 direct --friendly-name "Direct NAS" --delay-ms 150

lan_search 0 scan
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 2 ] || fail "expected both: $(cat "$LAN_TMP/scan.out")"
expect_fields scan.out "$(hp_of 169.254.20.2 direct)" 2 listed "QvNAS" "Direct NAS"
expect_fields scan.out "$(hp_of 10.77.1.2 lan)" 2 listed "QvNAS" "LAN NAS"
grep -q "msearch from=169.254.10.1:" "$LAN_TMP/direct.log" || fail "no M-SEARCH from the link-local address"
echo "PASS: the NAS on a link-local address is listed"
