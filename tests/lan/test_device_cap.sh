#!/usr/bin/env bash
# 55 maker devices on three hosts answer one search: exactly 50 records are published and
# the devices that answered after the table was full are never fetched.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_create 4

lan_device 1 a --count 20 --delay-step-ms 10 --friendly-name "A {i}"
lan_device 2 b --count 20 --delay-ms 5 --delay-step-ms 10 --friendly-name "B {i}"
lan_device 3 c --count 15 --delay-ms 300 --delay-step-ms 10 --friendly-name "C {i}"

lan_scan 0 scan || fail "qvlink-scan exited $?"
[ "$(cat "$LAN_TMP"/[abc].log | grep -c ' reply ')" -eq 55 ] || fail "the devices did not send 55 answers"
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 50 ] || fail "expected 50 records, got $(wc -l <"$LAN_TMP/scan.out")"

# Every published hostPort is a device that was fetched once, and the five that were not
# fetched are the five whose answers came last. Devices are keyed by address and port: each
# host picks its ports on its own, so two hosts may well use the same port number.
keyed() { # keyed WORD: "time addr:port" for each WORD line of the three devices' logs
    local host names=(- a b c)
    for host in 1 2 3; do
        awk -v word="$1" -v addr="$(lan_addr "$host")" '$2 == word {
            for (i = 3; i <= NF; i++) if ($i ~ /^port=/) print $1, addr ":" substr($i, 6) }' \
            "$LAN_TMP/${names[$host]}.log"
    done
}
fetched=$(keyed get | cut -d' ' -f2 | sort)
[ "$(echo "$fetched" | wc -l)" -eq 50 ] || fail "expected 50 description requests"
[ "$(echo "$fetched" | uniq -d)" = "" ] || fail "a device was fetched twice"
[ "$fetched" = "$(cut -f5 "$LAN_TMP/scan.out" | sort)" ] || fail "published records differ from the fetched devices"
for device in $(keyed reply | sort -n | tail -5 | cut -d' ' -f2); do
    echo "$fetched" | grep -qx "$device" && fail "device $device answered among the last five but was fetched"
done
echo "PASS: 55 answers, 50 published, 50 fetched"
