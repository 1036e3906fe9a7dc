#!/usr/bin/env bash
# End to end: the real program in the demo's LAN (scripts/demo-lan.sh) and the demo's session
# (its own D-Bus bus, so GVfs mounts), on the X display that x11-session.sh opened, through a
# user's day in English and in German (user_day.py). The recorder stands in for the browser
# ($BROWSER, xdg-settings naming no default) and for xdg-open.
#   user-day.sh QVLINK OUTDIR     (run by ctest as netns-run.sh x11-session.sh user-day.sh ...)
# Screenshots go to OUTDIR/en and OUTDIR/de; the program's logs to OUTDIR too.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../scripts/demo-lan.sh"
qvlink=$1 out=$2
[ -x "$qvlink" ] || fail "no program at $qvlink"
demo_lan_require xdotool import /usr/bin/python3 /usr/libexec/at-spi-bus-launcher
[ -x /usr/libexec/gvfsd-smb ] || skip "the GVfs SMB backend is not installed"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run under x11-session.sh"
rm -rf "$out" && mkdir -p "$out" || fail "cannot make $out"

start=$(date +%s%N)
demo_lan_up
lan_log "demo LAN up after $((($(date +%s%N) - start) / 1000000)) ms"

bin="$LAN_TMP/bin"
mkdir -p "$bin"
recorder="$here/../../data/launch/record-argv"
cp "$recorder" "$bin/xdg-open" && cp "$recorder" "$bin/browser" || fail "cannot copy the recorder"
# No desktop default browser here: the program falls back to $BROWSER.
printf '#!/bin/sh\nexit 1\n' >"$bin/xdg-settings"
chmod 755 "$bin" "$bin/xdg-open" "$bin/browser" "$bin/xdg-settings"

names=$(IFS=:; echo "${DEMO_NAS_NAMES[*]}")
logs=
for host in "${DEMO_NAS_HOSTS[@]}"; do logs+="${logs:+:}$LAN_TMP/device$host.log"; done
office=${DEMO_NAS_HOSTS[0]}
for i in "${!DEMO_NAS_HOSTS[@]}"; do [ "${DEMO_NAS_LOCKED[$i]}" = 1 ] && locked=$i; done
DEMO_ENV=(PATH="$bin:$PATH" BROWSER="$bin/browser" QV_RECORD="$LAN_TMP/record" E2E_OUT="$out"
    E2E_QVLINK="$qvlink" E2E_BIN="$bin" E2E_NAS_NAMES="$names" E2E_DEVICE_LOGS="$logs"
    E2E_NAS_ADDR="$(lan_addr "$office")" E2E_NAS_DIR="$(demo_nas_dir "$office")" E2E_NAS_PAGE="$(demo_page_url "$office")"
    E2E_NAS_ICON=qvlink-device-247 E2E_OTHER_NAME="LAN media server" E2E_LOCKED_NAME="${DEMO_NAS_NAMES[$locked]}"
    E2E_LOCKED_ADDR="$(lan_addr "${DEMO_NAS_HOSTS[$locked]}")" E2E_LOCKED_DIR="$(demo_nas_dir "${DEMO_NAS_HOSTS[$locked]}")"
    E2E_LOCKED_USER="$DEMO_USER" E2E_LOCKED_PASSWORD="$DEMO_PASSWORD")
demo_session /usr/bin/python3 "$here/user_day.py"
rc=$?
for f in "$out"/qvlink-*.log; do
    [ -s "$f" ] && { echo "--- $f"; head -c 4000 "$f"; }
done
[ "$rc" -eq 0 ] || fail "the day failed ($rc); screenshots in $out"
echo "PASS: a user's day in English and German; screenshots in $out"
