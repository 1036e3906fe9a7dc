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
lan_require smbd smbpasswd dbus-run-session fusermount3 gnome-keyring-daemon secret-tool dbus-send
[ -x /usr/libexec/gvfsd-smb ] || skip "the GVfs SMB backend is not installed"
lan_init
trap 'gvfs_cleanup; lan_teardown' EXIT
lan_create 4

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
    QVL_PASSWORD=s3cret QVL_SHOTS="$shots" \
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
grep -q '^Totals: 10 passed, 0 failed, 1 skipped' "$LAN_TMP/driver.out" || fail "not every case ran"
grep -q '^Totals: 3 passed, 0 failed, 0 skipped' "$LAN_TMP/driver.out.second" || fail "the second run did not run"

# Nothing from a server wrote outside its file or added a line.
[ "$(ls -A "$XDG_CONFIG_HOME/qvlink")" = connections ] || fail "qvlink folder: $(ls -A "$XDG_CONFIG_HOME/qvlink")"
grep -qvE '^[A-Z]: \\\\[^ \\]+\\[^ \\]+$' "$XDG_CONFIG_HOME/qvlink/connections" &&
    fail "connections: $(cat -A "$XDG_CONFIG_HOME/qvlink/connections")"
[ "$(wc -l <"$XDG_CONFIG_HOME/qvlink/connections")" -eq 2 ] || fail "connections: $(cat "$XDG_CONFIG_HOME/qvlink/connections")"
[ "$(ls -A "$XDG_CONFIG_HOME/gtk-3.0")" = bookmarks ] || fail "gtk-3.0 folder: $(ls -A "$XDG_CONFIG_HOME/gtk-3.0")"
echo "PASS: shares listed, credentials asked, a GVfs mount written through, letters remembered and moved"
