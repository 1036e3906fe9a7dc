#!/usr/bin/env bash
# Command line of qvlink-scan: --help and --version on standard output with exit 0; an unknown
# option or an argument gives the usage on standard error, exit 2, and no search. Then, in
# network namespaces of their own with only loopback (nothing answers): an output that cannot
# be written (a full disk, a closed pipe) exits 3 with one line on standard error; a terminal
# on standard error gets a one-line summary, anything else none.
set -u
scan=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$scan" --help >"$tmp/out" 2>"$tmp/err" || fail "--help exited $?"
grep -q -- '--json' "$tmp/out" || fail "--help does not describe --json"
grep -q 'u00XX' "$tmp/out" || fail "--help does not describe the JSON escaping"
[ -s "$tmp/err" ] && fail "--help wrote to standard error"
grep -q 'u202e' "$tmp/out" || fail "--help does not describe the escaping of bidirectional controls"
[ "$("$scan" --version)" = "qvlink-scan 1.00.01" ] || fail "--version: $("$scan" --version)"
for args in "--bogus" "-x" "extra" "--json --jsonx" "--time-limit" "--time-limit 0" "--time-limit 9x"; do
    # shellcheck disable=SC2086
    "$scan" $args >"$tmp/out" 2>"$tmp/err"
    rc=$?
    [ $rc -eq 2 ] || fail "'$args' exited $rc"
    grep -q '^usage: qvlink-scan' "$tmp/err" || fail "'$args': no usage on standard error"
    [ -s "$tmp/out" ] && fail "'$args' wrote to standard output"
done
echo "PASS: help, version and usage errors"

netns() { unshare --net sh -c 'ip link set lo up && ip route add default dev lo src 127.0.0.1 && exec "$0" "$@"' "$@"; }
if ! netns true 2>/dev/null; then
    echo "SKIP: no network namespaces here (root needed)"
    exit 77
fi
# Four empty searches at once, about 8 s each.
netns "$scan" --json >/dev/full 2>"$tmp/full.err" &
full=$!
(netns "$scan" --json 2>"$tmp/pipe.err"; echo $? >"$tmp/pipe.rc") | true &
pipe=$!
script -qec "$(printf '%q ' unshare --net sh -c 'ip link set lo up && ip route add default dev lo src 127.0.0.1 && exec "$0"' "$scan")" "$tmp/tty.log" >/dev/null &
tty=$!
netns "$scan" >"$tmp/plain.out" 2>"$tmp/plain.err" &
plain=$!
wait $full; rc=$?
[ $rc -eq 3 ] || fail "output to a full disk exited $rc"
[ "$(wc -l <"$tmp/full.err")" -eq 1 ] && grep -q '^qvlink-scan: cannot write the output: No space left on device$' "$tmp/full.err" ||
    fail "full disk: $(cat "$tmp/full.err")"
wait $pipe
[ "$(cat "$tmp/pipe.rc")" = 3 ] || fail "output to a closed pipe exited $(cat "$tmp/pipe.rc")"
grep -q '^qvlink-scan: cannot write the output: Broken pipe$' "$tmp/pipe.err" || fail "closed pipe: $(cat "$tmp/pipe.err")"
wait $tty
grep -q "^0 devices answered, 0 of them the maker's" "$tmp/tty.log" || fail "no summary on a terminal: $(cat -A "$tmp/tty.log")"
wait $plain; rc=$?
[ $rc -eq 0 ] || fail "an empty search exited $rc"
[ -s "$tmp/plain.out" ] && fail "an empty search printed: $(cat "$tmp/plain.out")"
[ -s "$tmp/plain.err" ] && fail "a summary or diagnostic without a terminal: $(cat "$tmp/plain.err")"
echo "PASS: write failures, summary"
