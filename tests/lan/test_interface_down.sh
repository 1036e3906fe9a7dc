#!/usr/bin/env bash
# An interface that goes down while the search listens (a cable pulled, a wireless network
# lost): the search goes on with the others, lists the NAS that answered on it before, and
# the NAS on another interface that answers after.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_host 0
lan_link 0 1 10.77.1.1/24
lan_link 0 2 10.77.2.1/24
lan_link 0 3 10.77.3.1/24
ip -n "$(lan_ns 0)" route add default dev "$(lan_link_if 0 1)"
for i in 1 2 3; do
    lan_host "$i"
    lan_link "$i" "$i" "10.77.$i.2/24"
done
lan_device_at 2 10.77.2.2 early --friendly-name "Early NAS" --delay-ms 50
lan_device_at 3 10.77.3.2 late --friendly-name "Late NAS" --delay-ms 800
lan_device_at 1 10.77.1.2 wired --friendly-name "Wired NAS" --delay-ms 900

( sleep 0.4; ip -n "$(lan_ns 0)" link set "$(lan_link_if 0 2)" down ) &
downer=$!
lan_scan 0 scan || fail "qvlink-scan exited $? ($(cat "$LAN_TMP/scan.err"))"
wait "$downer"
[ "$(ip -n "$(lan_ns 0)" -o link show "$(lan_link_if 0 2)" | grep -c 'state DOWN')" -eq 1 ] ||
    fail "the interface was not down"
[ "$(cut -f4 "$LAN_TMP/scan.out" | tr '\n' '|')" = "Early NAS|Late NAS|Wired NAS|" ] ||
    fail "expected all three in order: $(cat "$LAN_TMP/scan.out")"
echo "PASS: the search went on after an interface went down"
