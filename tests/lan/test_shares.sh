#!/usr/bin/env bash
# Shares against real Samba servers and GVfs: the window (TestShareLan, offscreen) lists a
# guest server's disk shares, asks for credentials where a server refuses guests (again, with
# the error, after a wrong password; a ticked "Remember password" puts the one that worked into
# the session's keyring, and a new run lists without asking), mounts a
# share through GVfs (a file written through the FUSE view lands in the server's folder),
# remembers and bookmarks the letter, moves it, keeps everything on a wrong password, and
# stays responsive while a server is stopped and killed and while an address stays silent.
#   test_shares.sh DRIVER [SCREENSHOT_DIR]
set -u
source "$(dirname "$0")/lan.sh"
source "$(dirname "$0")/shares.sh"
driver=$1 shots=${2:-}
[ -x "$driver" ] || fail "no driver at $driver"
lan_require smbd smbpasswd dbus-run-session fusermount3 gnome-keyring-daemon secret-tool dbus-send /usr/bin/python3
[ -x /usr/libexec/gvfsd-smb ] || skip "the GVfs SMB backend is not installed"
/usr/bin/python3 -c 'import impacket' 2>/dev/null || skip "python3-impacket is not installed"
lan_init
trap 'gvfs_cleanup; lan_teardown' EXIT
lan_create 7

long=$(printf 'x%.0s' $(seq 300))
smb_server 1 nasa "    map to guest = Bad User" "
[public]
    path = @DIR@/public
    comment = Public files
    guest ok = yes
    read only = no
[config]
    path = @DIR@/public
    comment = System Configuration
    guest ok = yes
[hidden\$]
    path = @DIR@/public
    guest ok = yes
[laser]
    path = @DIR@/spool
    printable = yes
    guest ok = yes
    print command = /bin/true
[quo'te \"x\"]
    path = @DIR@/other
    comment = q\"uo'te $long
    guest ok = yes
[../up]
    path = @DIR@/other
    guest ok = yes
[caf$(printf '\xc3\xa9')]
    path = @DIR@/other
    guest ok = yes
[bad]
    path = @DIR@/other
    guest ok = yes
"
mkdir -p "$LAN_TMP/nasa/public" "$LAN_TMP/nasa/other"
chmod 777 "$LAN_TMP/nasa/public"
smb_server 2 nasb "    map to guest = Never
    restrict anonymous = 2" "
[private]
    path = @DIR@/private
    read only = no
    valid users = nobody
[secret]
    path = @DIR@/private
    valid users = root
"
mkdir -p "$LAN_TMP/nasb/private"
chmod 777 "$LAN_TMP/nasb/private"
smb_user nasb nobody s3cret
smb_server 3 nasc "    map to guest = Bad User" "
[stopped]
    path = @DIR@
    guest ok = yes
"
# What Samba refuses to serve: 20,000 shares, hostile names, a lone UTF-16 surrogate.
hostile_server 4 huge --mode huge --count 20000
hostile_server 5 hostile --mode hostile
hostile_server 6 surrogate --mode hostile --surrogate

gvfs_home
mkdir -p "$XDG_CONFIG_HOME/gtk-3.0" "$XDG_CONFIG_HOME/qvlink"
printf 'file:///tmp Temporary files\n' >"$XDG_CONFIG_HOME/gtk-3.0/bookmarks"
# A letter remembered from an earlier run.
printf 'H: \\\\%s\\secret\n' "$(lan_addr 2)" >"$XDG_CONFIG_HOME/qvlink/connections"

platform=offscreen
if [ -n "$shots" ]; then platform=xcb; fi
ip netns exec "$(lan_ns 0)" env QT_QPA_PLATFORM="$platform" LANG=C.UTF-8 LC_ALL= LANGUAGE= DISPLAY="${QVL_DISPLAY:-}" \
    QVL_NAS_A="$(lan_addr 1)" QVL_NAS_B="$(lan_addr 2)" QVL_NAS_C="$(lan_addr 3)" QVL_SILENT=10.77.0.99 \
    QVL_PUBLIC_DIR="$LAN_TMP/nasa/public" QVL_PID_C="$(cat "$LAN_TMP/nasc.pid")" QVL_USER=nobody \
    QVL_PASSWORD=s3cret QVL_SHOTS="$shots" QVL_HUGE="$(lan_addr 4)" QVL_HOSTILE="$(lan_addr 5)" \
    QVL_SURROGATE="$(lan_addr 6)" \
    dbus-run-session -- bash -c '
        source "$1"; driver=$2 out=$3
        trap keyring_stop EXIT
        keyring_start || exit 1
        "$driver" >"$out" 2>&1 || exit
        # A new run in the same session: the remembered password lists without a dialog.
        QVL_SECOND_RUN=1 "$driver" rememberedInANewRun >"$out.second" 2>&1' \
    keyring "$(dirname "$0")/../platform/keyring/keyring.sh" "$driver" "$LAN_TMP/driver.out"
rc=$?
grep -E '^(PASS|FAIL|SKIP|QINFO|Totals)|Loc:|Actual|Expected' "$LAN_TMP/driver.out" "$LAN_TMP/driver.out.second" >&2
[ $rc -eq 0 ] || { tail -n 40 "$LAN_TMP/driver.out" "$LAN_TMP/driver.out.second" >&2; fail "driver exited $rc"; }
grep -q '^Totals: 14 passed, 0 failed, 1 skipped' "$LAN_TMP/driver.out" || fail "not every case ran"
grep -q '^Totals: 3 passed, 0 failed, 0 skipped' "$LAN_TMP/driver.out.second" || fail "the second run did not run"

# Nothing from a server wrote outside its file or added a line.
[ "$(ls -A "$XDG_CONFIG_HOME/qvlink")" = connections ] || fail "qvlink folder: $(ls -A "$XDG_CONFIG_HOME/qvlink")"
grep -qvE '^[A-Z]: \\\\[^ \\]+\\[^ \\]+$' "$XDG_CONFIG_HOME/qvlink/connections" &&
    fail "connections: $(cat -A "$XDG_CONFIG_HOME/qvlink/connections")"
# The remembered letter, K: and the three hostile shares, each on one line.
[ "$(wc -l <"$XDG_CONFIG_HOME/qvlink/connections")" -eq 5 ] || fail "connections: $(cat -A "$XDG_CONFIG_HOME/qvlink/connections")"
[ "$(ls -A "$XDG_CONFIG_HOME/gtk-3.0")" = bookmarks ] || fail "gtk-3.0 folder: $(ls -A "$XDG_CONFIG_HOME/gtk-3.0")"
bookmarks="$XDG_CONFIG_HOME/gtk-3.0/bookmarks"
grep -qvE '^(file|smb)://[^ ]+ ' "$bookmarks" && fail "bookmarks: $(cat -A "$bookmarks")"
[ "$(wc -l <"$bookmarks")" -eq 5 ] || fail "bookmarks: $(cat -A "$bookmarks")"
for letter in M N P; do
    [ "$(grep -c "^smb://$(lan_addr 5)/[^ ]* $letter: " "$bookmarks")" -eq 1 ] || fail "no bookmark of $letter: $(cat -A "$bookmarks")"
done
# The autostart folder (the entry that mounts remembered letters at logon) holds no device text.
if [ -d "$XDG_CONFIG_HOME/autostart" ]; then
    grep -rlF -e "$(lan_addr 5)" -e "$(lan_addr 1)" -e 'uote' -e '../up' -e 'line' "$XDG_CONFIG_HOME/autostart" &&
        fail "device text in the autostart folder"
fi
echo "PASS: shares listed, credentials asked, a GVfs mount written through, letters remembered and moved"
