#!/usr/bin/env bash
# One host floods the search with 3,000 answers whose locations refuse every connection, and
# then answers for a NAS of its own; another host's NAS answers in the middle of the flood; a
# third host sends 10 dead answers and then its NAS. Failed fetches are counted per host: the
# flooding host loses only its own NAS (fetched no more past its budget); the NAS during the
# flood and the NAS of the host under its budget are both fetched and listed.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_create 4

lan_device 1 flooder --flood 3000 --flood-burst 20 --delay-ms 400 --friendly-name "Flooder NAS"
lan_device 2 during --delay-ms 60 --friendly-name "During NAS"
lan_device 3 under --flood 10 --flood-delay-ms 200 --delay-ms 300 --friendly-name "Under NAS"

lan_search 0 scan
names=$(cut -f4 "$LAN_TMP/scan.out" | tr '\n' '|')
[ "$names" = "During NAS|Under NAS|" ] || fail "expected During NAS and Under NAS: $(cat "$LAN_TMP/scan.out")"
grep -q "flood sent=3000 " "$LAN_TMP/flooder.log" || fail "the flood was not sent whole"
[ "$(lan_gets "$LAN_TMP/flooder.log")" -eq 0 ] || fail "the flooding host's NAS was fetched past its budget"

lan_scan 0 explain --explain || fail "qvlink-scan --explain exited $?"
out="$LAN_TMP/explain.out"
flooder=$(lan_addr 1)
dead=$(awk -F '\t' -v h="$flooder" '$4 == h && $2 == "fetch failed: refused"' "$out" | wc -l)
[ "$dead" -eq 20 ] || fail "expected 20 refused fetches of the flooding host, got $dead"
over=$(awk -F '\t' -v h="$flooder" '$4 == h && $2 == "limit reached: this host'"'"'s failed fetches"' "$out" | wc -l)
# The kernel drops what the receive buffer cannot hold while the reader is slow (a sanitizer
# build): not every datagram arrives, but every one that does is either refused or over budget.
[ "$over" -ge 1000 ] || fail "expected the rest of the flood over its budget, got $over"
other=$(awk -F '\t' -v h="$flooder" '$4 == h && $2 != "fetch failed: refused" && $2 !~ /^limit reached: this host/' "$out" | wc -l)
[ "$other" -eq 0 ] || fail "$other answers of the flooding host came to another end"
awk -F '\t' -v h="$flooder" '$4 == h && $5 ~ /desc-0.xml$/ { print $2 }' "$out" |
    grep -qx "limit reached: this host's failed fetches" || fail "the flooding host's NAS is not explained"
[ "$(awk -F '\t' -v h="$(lan_addr 3)" '$4 == h && $2 == "fetch failed: refused"' "$out" | wc -l)" -eq 10 ] ||
    fail "the host under its budget: not 10 refused fetches"
[ "$(awk -F '\t' '$2 == "listed"' "$out" | wc -l)" -eq 2 ] || fail "expected 2 listed answers"
echo "PASS: a flooding host loses only its own NAS"
