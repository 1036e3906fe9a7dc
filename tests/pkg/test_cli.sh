#!/usr/bin/env bash
# qvlink --help and --version: answered on standard output with exit 0 before the program makes
# its application object, so they need no display, open no window and start no search. The
# run is traced: not one socket may be made. A control run without the question shows that the
# trace sees the program's first socket (its display connection).
set -u
qvlink=$1
scan=$2
version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# DISPLAY names a server that does not exist in this network namespace, so a program that went
# on to its window would fail, and would make a socket on the way.
# LeakSanitizer cannot work in a traced process; the untraced runs below still check leaks.
run() {
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" DISPLAY=:129 WAYLAND_DISPLAY= QT_QPA_PLATFORM=xcb timeout 30 \
        strace -f -qq -e trace=socket,socketpair -o "$tmp/trace" "$qvlink" "$@" >"$tmp/out" 2>"$tmp/err"
}
no_socket() { ! grep -q 'socket' "$tmp/trace" || fail "$1 made a socket: $(head -n 3 "$tmp/trace")"; }

run --version || fail "--version exited $?"
[ "$(cat "$tmp/out")" = "qvlink $version" ] || fail "--version printed '$(cat "$tmp/out")'"
[ -s "$tmp/err" ] && fail "--version wrote to standard error: $(cat "$tmp/err")"
no_socket --version
scan_version=$("$scan" --version) || fail "qvlink-scan --version exited $?"
[ "${scan_version#qvlink-scan }" = "$version" ] || fail "qvlink-scan --version printed '$scan_version'"

for help in --help -h "-platform offscreen --help"; do
    # shellcheck disable=SC2086
    run $help || fail "$help exited $?"
    head -n 1 "$tmp/out" | grep -qx 'usage: qvlink \[--help\] \[--version\] \[--restore-mappings\]' || fail "$help: no usage line"
    grep -q -- '--version  show the version' "$tmp/out" || fail "$help does not describe --version"
    grep -q 'qvlink-scan(1)' "$tmp/out" || fail "$help does not name qvlink-scan"
    [ -s "$tmp/err" ] && fail "$help wrote to standard error: $(cat "$tmp/err")"
    no_socket "$help"
done
run -platform offscreen --version || fail "--version after Qt's options exited $?"
[ "$(cat "$tmp/out")" = "qvlink $version" ] || fail "--version after Qt's options printed '$(cat "$tmp/out")'"

# The restore at login with nothing remembered: no display, no window, not a socket, status 0.
mkdir -p "$tmp/home"
HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/config" DBUS_SESSION_BUS_ADDRESS= run --restore-mappings ||
    fail "--restore-mappings with nothing remembered exited $?"
[ -s "$tmp/out" ] || [ -s "$tmp/err" ] && fail "--restore-mappings printed: $(cat "$tmp/out" "$tmp/err")"
no_socket --restore-mappings
[ -e "$tmp/home/config/autostart" ] && fail "--restore-mappings wrote an autostart entry with nothing remembered"

# An answer that cannot be written is a failure, not a silent success.
"$qvlink" --help >/dev/full 2>/dev/null && fail "--help into a full disk exited 0"
"$qvlink" --version >&- 2>/dev/null && fail "--version into a closed output exited 0"

# Control: without a question the program goes on to the display, and the trace sees it.
run && fail "without a display the program exited 0"
grep -q 'socket' "$tmp/trace" || fail "the trace saw no socket of the display connection"
echo "PASS: --version, --help and --restore-mappings without a display or a socket"
