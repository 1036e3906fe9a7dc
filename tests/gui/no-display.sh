#!/usr/bin/env bash
# Started without a display the program says so in one line on standard error and ends with
# status 1, also when the display it is given does not answer; asking for its version, its help
# or the restoring of mappings needs no display.   no-display.sh QVLINK
set -u
QVLINK=$1
work=$(mktemp -d /tmp/qvlink-nodisplay.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -m 700 "$work/run" "$work/home"
# run NAME VAR=VALUE...: the program with only these variables (and a private home), its status
# in $status and its standard error in $work/NAME.err.
run() {
    local name=$1
    shift
    env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config" \
        LANG=C.UTF-8 "$@" timeout "${LIMIT:-20}" "$QVLINK" ${ARGS:-} >"$work/$name.out" 2>"$work/$name.err"
    status=$?
}
one_line() {
    local name=$1
    [ "$status" -eq 1 ] || fail "$name: status $status, not 1: $(cat "$work/$name.err")"
    [ "$(wc -l <"$work/$name.err")" -eq 1 ] || fail "$name: not exactly one line: $(cat "$work/$name.err")"
    grep -q '^qvlink: no display: ' "$work/$name.err" || fail "$name: $(cat "$work/$name.err")"
    [ ! -s "$work/$name.out" ] || fail "$name: wrote to standard output: $(cat "$work/$name.out")"
}

run none
one_line none
run empty DISPLAY= WAYLAND_DISPLAY=
one_line empty
run xcb-without-display QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY=wayland-0
one_line xcb-without-display
run wayland-without-display QT_QPA_PLATFORM=wayland DISPLAY=:0
one_line wayland-without-display
# A display that nobody serves: Qt's own failure, turned into the same one line.
run gone DISPLAY=:193
one_line gone
grep -q 'does not answer' "$work/gone.err" || fail "gone: $(cat "$work/gone.err")"

ARGS=--version run version
[ "$status" -eq 0 ] && grep -q '^qvlink [0-9]' "$work/version.out" || fail "--version: $status $(cat "$work/version.err")"
ARGS=--help run help
[ "$status" -eq 0 ] && grep -q '^usage: qvlink' "$work/help.out" || fail "--help: $status $(cat "$work/help.err")"
# Nothing remembered: every folder mounted, status 0, without a display or a session bus.
ARGS=--restore-mappings run restore
[ "$status" -eq 0 ] || fail "--restore-mappings: status $status: $(cat "$work/restore.err")"
# A platform that needs no display is Qt's to start: the program runs until it is stopped.
LIMIT=3 run offscreen QT_QPA_PLATFORM=offscreen
[ "$status" -eq 124 ] || fail "offscreen: status $status: $(cat "$work/offscreen.err")"
! grep -q 'no display' "$work/offscreen.err" || fail "offscreen: $(cat "$work/offscreen.err")"
echo "PASS: one line and status 1 without a display; --version, --help and --restore-mappings work without one"
