#!/usr/bin/env bash
# Command line of qvlink-scan: --help on standard output with exit 0; an unknown option or an
# argument gives the usage on standard error, exit 2, and no search.
set -u
scan=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$scan" --help >"$tmp/out" 2>"$tmp/err" || fail "--help exited $?"
grep -q -- '--json' "$tmp/out" || fail "--help does not describe --json"
grep -q 'u00XX' "$tmp/out" || fail "--help does not describe the JSON escaping"
[ -s "$tmp/err" ] && fail "--help wrote to standard error"
for args in "--bogus" "-x" "extra" "--json --jsonx"; do
    # shellcheck disable=SC2086
    "$scan" $args >"$tmp/out" 2>"$tmp/err"
    rc=$?
    [ $rc -eq 2 ] || fail "'$args' exited $rc"
    grep -q '^usage: qvlink-scan' "$tmp/err" || fail "'$args': no usage on standard error"
    [ -s "$tmp/out" ] && fail "'$args' wrote to standard output"
done
echo "PASS: help and usage errors"
