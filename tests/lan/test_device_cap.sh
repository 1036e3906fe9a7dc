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
logs=("$LAN_TMP/a.log" "$LAN_TMP/b.log" "$LAN_TMP/c.log")
replies=$(cat "${logs[@]}" | grep -c ' reply ')
[ "$replies" -eq 55 ] || fail "expected 55 answers, devices sent $replies"
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 50 ] || fail "expected 50 records, got $(wc -l <"$LAN_TMP/scan.out")"
[ "$(cut -f2 "$LAN_TMP/scan.out" | grep -cx listed)" -eq 50 ] || fail "all 50 records are maker devices"
[ "$(lan_gets "${logs[@]}")" -eq 50 ] || fail "expected 50 description requests, got $(lan_gets "${logs[@]}")"

# Every published hostPort is a device that was fetched once, and the five that were not
# fetched are the five whose answers came last.
fetched=$(cat "${logs[@]}" | grep ' get ' | sed 's/.* port=\([0-9]*\) from.*/\1/' | sort)
[ "$(echo "$fetched" | uniq -d)" = "" ] || fail "a device was fetched twice"
published=$(cut -f5 "$LAN_TMP/scan.out" | sed 's/.*://' | sort)
[ "$fetched" = "$published" ] || fail "published records differ from the fetched devices"
last5=$(cat "${logs[@]}" | grep ' reply ' | sort -n | tail -5 | sed 's/.* port=\([0-9]*\) to.*/\1/' | sort)
for port in $last5; do
    echo "$fetched" | grep -qx "$port" && fail "device on port $port answered among the last five but was fetched"
done
echo "PASS: 55 answers, 50 published, 50 fetched"
