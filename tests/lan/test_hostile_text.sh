#!/usr/bin/env bash
# Device text with tabs, line ends, quotes, backslashes, control bytes and bytes that are not
# UTF-8: the TSV output keeps one line per record with the bytes escaped as documented, and
# the JSON output parses and carries the same text.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_create 4

# "Tab<TAB>nl<LF>cr<CR>q\"bs\\ c\x01\x1b\x7f bad\xff\xc3( é &amp;"
hostile=$(printf 'Tab\tnl\ncr\rq"bs\\ c\x01\x1b\x7f bad\xff\xc3( \xc3\xa9 &amp;' | od -An -v -tx1 | tr -d ' \n')
# 126 letters and a two-byte character: the 127-byte field cuts the character in half.
cut=$(printf 'A%.0s' $(seq 126) | od -An -v -tx1 | tr -d ' \n')c3a9
lan_device 1 hostile --friendly-name-hex "$hostile"
lan_device 2 cut --friendly-name-hex "$cut" --delay-ms 100
lan_device 3 plain --friendly-name "Plain" --delay-ms 200

lan_search 0 scan
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 3 ] || { cat -A "$LAN_TMP/scan.out"; fail "expected 3 lines"; }

expect_tsv='Tab\tnl\ncr\rq"bs\\ c\x01\x1b\x7f bad'$'\xff\xc3'"( "$'\xc3\xa9'" &amp;"
got=$(tsv_field scan.out "$(lan_addr 1):$(lan_ports hostile)" 4)
[ "$got" = "$expect_tsv" ] || fail "TSV friendlyName: got '$got'"
got=$(tsv_field scan.out "$(lan_addr 2):$(lan_ports cut)" 4)
[ "$got" = "$(printf 'A%.0s' $(seq 126))"$'\xc3' ] || fail "TSV cut friendlyName: got '$got'"

python3 -m json.tool "$LAN_TMP/scan-json.out" >/dev/null || fail "json.tool rejects the JSON output"
python3 - "$LAN_TMP/scan-json.out" "$(lan_addr 1):$(lan_ports hostile)" "$(lan_addr 2):$(lan_ports cut)" <<'PY' ||
import json, sys
records = {r["hostPort"]: r for r in json.load(open(sys.argv[1], encoding="utf-8"))}
hostile = records[sys.argv[2]]["friendlyName"]
want = 'Tab\tnl\ncr\rq"bs\\ c\x01\x1b\x7f bad\u00ff\u00c3( \u00e9 &amp;'
assert hostile == want, (hostile, want)
cut = records[sys.argv[3]]["friendlyName"]
assert cut == "A" * 126 + "\u00c3", cut
raw = open(sys.argv[1], "rb").read()
# Escaped, not raw: no control byte inside the document, the lone bytes as \u00XX.
assert b"\\u00ff\\u00c3(" in raw and b"\\u0001\\u001b\\u007f" in raw, raw
assert b"\xc3\xa9" in raw
PY
fail "JSON friendlyName"
echo "PASS: hostile text escaped in TSV and JSON"
