#!/usr/bin/env bash
# A VPN that takes the default route and lets the LAN through: the route toward
# 223.255.255.255 leads into an interface behind which nothing answers, and the NAS sits on
# the LAN interface. The search goes out on both; the NAS is listed.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_host 0
lan_link 0 1 10.77.1.1/24
lan_link 0 9 10.99.0.2/24 # the "tunnel": a link to a switch with nothing else on it
ip -n "$(lan_ns 0)" route add default via 10.99.0.1 dev "$(lan_link_if 0 9)" onlink
lan_host 1
lan_link 1 1 10.77.1.2/24
lan_device_at 1 10.77.1.2 nas --friendly-name "LAN NAS" --delay-ms 100

lan_search 0 scan
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 1 ] || fail "expected the NAS: $(cat "$LAN_TMP/scan.out")"
expect_fields scan.out "$(hp_of 10.77.1.2 nas)" 2 listed "QvNAS" "LAN NAS"
grep -q "msearch from=10.77.1.1:" "$LAN_TMP/nas.log" || fail "no M-SEARCH from the LAN address"
echo "PASS: the NAS on the LAN is listed beside a default route that leads nowhere"
