#!/usr/bin/env bash
# Device text with tabs, line ends, quotes, backslashes, control bytes and bytes that are not
# UTF-8: the TSV output keeps one line per record with the bytes escaped as documented, and
# the JSON output (checked against the TSV by lan_search) parses and carries the same text.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3
lan_init
lan_create 4

hex() { od -An -v -tx1 | tr -d ' \n'; }
a126=$(printf 'A%.0s' $(seq 126))
lan_device 1 hostile --friendly-name-hex "$(printf 'Tab\tnl\ncr\rq"bs\\ c\x01\x1b\x7f bad\xff\xc3( \xc3\xa9 &amp;' | hex)"
# 126 letters and a two-byte character: the 127-byte field cuts the character in half.
lan_device 2 cut --friendly-name-hex "$(printf '%s' "$a126" | hex)c3a9" --delay-ms 100
lan_device 3 plain --friendly-name "Plain" --delay-ms 200

lan_search 0 scan
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 3 ] || fail "expected 3 lines: $(cat -A "$LAN_TMP/scan.out")"
expect_fields scan.out "$(lan_hp 1 hostile)" 4 'Tab\tnl\ncr\rq"bs\\ c\x01\x1b\x7f bad'$'\xff\xc3'"( "$'\xc3\xa9'" &amp;"
expect_fields scan.out "$(lan_hp 2 cut)" 4 "$a126"$'\xc3'
# In the JSON, control and lone bytes are \u00XX escapes; valid UTF-8 stays as it is.
grep -qF 'c\u0001\u001b\u007f bad\u00ff\u00c3( '$'\xc3\xa9' "$LAN_TMP/scan-json.out" || fail "JSON escaping: $(cat "$LAN_TMP/scan-json.out")"
echo "PASS: hostile text escaped in TSV and JSON"
