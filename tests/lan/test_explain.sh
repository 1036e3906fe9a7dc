#!/usr/bin/env bash
# qvlink-scan --explain against scriptable devices, one for each outcome: listed, another
# maker, a type not accepted, locations refused (another host, a name, a sender off the
# interface's network), fetches failed (refused, cut off, not HTTP 200, too large, timed out),
# limits reached (a host past its failed fetches), a duplicate USN and an answer without a
# search target. The text lines and the JSON objects say the same, in order of arrival.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_create 4
ip -n "$(lan_ns 2)" addr add 10.78.0.5/24 dev "$(lan_if 2)" # on the wire, off the network

declare -A want
dev() { # dev NAME HOST|ADDR EXPECTED OPTIONS...
    local name=$1 where=$2
    want[$name]=$3
    shift 3
    if [[ $where == *.* ]]; then
        lan_device_at 2 "$where" "$name" --friendly-name "${name^} NAS" "$@"
    else
        lan_device "$where" "$name" --friendly-name "${name^} NAS" "$@"
    fi
}
dev good 1 "listed" --delay-ms 20
dev offnet 10.78.0.5 "location refused: sender not on the interface's network" --delay-ms 30
dev acme 1 "another maker" --delay-ms 40 --manufacturer Acme --device-type urn:schemas-upnp-org:device:MediaServer:1
dev gateway 1 "type not accepted" --delay-ms 60 --device-type urn:schemas-upnp-org:device:InternetGatewayDevice:1
dev elsewhere 1 "location refused: another host than the sender" --delay-ms 80 --location "http://10.77.0.99:{port}/x.xml"
dev named 1 "location refused: a name, not an address" --delay-ms 100 --location "http://nas.example:{port}/x.xml"
dev refuse 1 "fetch failed: refused" --delay-ms 120 --http-mode refuse
dev cut 1 "fetch failed: cut off" --delay-ms 140 --http-mode cut
dev notfound 1 "fetch failed: not HTTP 200 (status 404)" --delay-ms 160 --http-mode notfound
dev huge 1 "fetch failed: too large" --delay-ms 180 --http-mode huge
dev twice 1 "listed" --delay-ms 200 --repeats 2 --repeat-gap-ms 30
dev nost 1 "not an answer: no search target" --delay-ms 260 --no-st
dev flood 3 "" --flood 22 --flood-delay-ms 280
dev silent 1 "fetch failed: timed out" --delay-ms 350 --http-mode silent

lan_scan 0 explain --explain || fail "qvlink-scan --explain exited $?"
lan_scan 0 explain-json --explain --json || fail "qvlink-scan --explain --json exited $?"
out="$LAN_TMP/explain.out"
outcome_of() { # outcome_of NAME: the outcome of the first answer whose location has the device's port
    local port
    port=$(grep -m1 ' ready ' "$LAN_TMP/$1.log" | sed 's/.*ports=//; s/,.*//')
    awk -F '\t' -v p=":$port/" 'index($5, p) { print $2; exit }' "$out"
}
for name in "${!want[@]}"; do
    [ -n "${want[$name]}" ] || continue
    got=$(outcome_of "$name")
    [ "$got" = "${want[$name]}" ] || fail "$name: '$got', expected '${want[$name]}'"
done
[ "$(awk -F '\t' '$2 == "duplicate USN"' "$out" | wc -l)" -eq 1 ] || fail "no duplicate USN line"
flooder=$(lan_addr 3)
[ "$(awk -F '\t' -v h="$flooder" '$4 == h && $2 == "fetch failed: refused"' "$out" | wc -l)" -eq 20 ] ||
    fail "the flooding host: not 20 refused fetches"
[ "$(awk -F '\t' -v h="$flooder" '$4 == h && $2 == "limit reached: this host'"'"'s failed fetches"' "$out" | wc -l)" -eq 2 ] ||
    fail "the flooding host: not 2 answers over its budget"
awk -F '\t' -v i="$(lan_if 0)" 'NF != 10 || $3 != i { bad = 1 } END { exit bad }' "$out" ||
    fail "a line without 10 columns or not on $(lan_if 0)"
awk -F '\t' '$1 != NR - 1 { bad = 1 } END { exit bad }' "$out" || fail "answers not numbered in order"
grep -q 'listed.*QvNAS.*Halvren Storage Corporation' "$out" || fail "no type and maker for a listed device"
python3 - "$out" "$LAN_TMP/explain-json.out" <<'PY' || fail "TSV and JSON differ"
import json, sys
lines = [l.rstrip("\n").split("\t") for l in open(sys.argv[1], encoding="utf-8")]
doc = json.load(open(sys.argv[2], encoding="utf-8"))
tsv = sorted((l[1], l[4]) for l in lines)
js = sorted(((a["outcome"] + (": " + a["reason"] if a["reason"] else "")), a["location"] or "-") for a in doc["answers"])
# Two searches: the ports of the devices are the same, the flood's and the answers' order may differ.
if tsv != js or doc["notExplained"] != 0:
    sys.exit("TSV %d lines, JSON %d answers" % (len(tsv), len(js)))
print("check_explain: %d answers, TSV and JSON agree" % len(tsv))
PY
echo "PASS: every outcome explained"
