#!/usr/bin/env bash
# Drive letters that come back at the next login, as an ordinary user lives it. A guest
# server's folder and a password server's folder are remembered (the password in the keyring)
# and mounted; the session ends (D-Bus, GVfs, keyring); a new session with the keyring
# unlocked runs exactly what the autostart entry says, and both folders are mounted again
# (a file written through each FUSE path reaches the server's folder) without asking anyone;
# a folder the user had mounted first is not taken for one of the program's own mounts.
# Then, with one server stopped and the other silent, the restore ends within 30 s and
# forgets nothing. Nothing of the test is left running.
#   test_restore.sh QVLINK
set -u
source "$(dirname "$0")/lan.sh"
source "$(dirname "$0")/shares.sh"
qvlink=$1 here=$(cd "$(dirname "$0")" && pwd)
[ -x "$qvlink" ] || fail "no program at $qvlink"
lan_require smbd smbpasswd dbus-run-session fusermount3 gnome-keyring-daemon secret-tool setpriv python3 \
    desktop-file-validate
[ -x /usr/libexec/gvfsd-smb ] && [ -x /usr/libexec/gvfsd-fuse ] || skip "GVfs SMB or FUSE is not installed"
id nobody >/dev/null 2>&1 || skip "no ordinary user to run as"
# Every process this test starts carries the mark, which is how leftovers are found (by PID).
export QVL_RESTORE_TEST="$LAN_ID"
lan_init

# The PIDs of processes carrying the mark, other than this shell.
marked() {
    local p
    MARKED=()
    for p in /proc/[0-9]*; do
        p=${p#/proc/}
        [ "$p" = $$ ] && continue
        grep -qz "^QVL_RESTORE_TEST=$LAN_ID\$" "/proc/$p/environ" 2>/dev/null && MARKED+=("$p")
    done
}

# Fails when a process of an ended session is still there (after killing it by PID).
no_session_left() {
    local i p names
    for i in $(seq 50); do
        marked
        names=""
        for p in "${MARKED[@]}"; do
            case "$(cat "/proc/$p/comm" 2>/dev/null)" in
                smbd* | samba-* | rpcd_* | cleanupd | "") ;;
                *) names+=" $p:$(cat "/proc/$p/comm" 2>/dev/null)" ;;
            esac
        done
        [ -z "$names" ] && return 0
        sleep 0.1
    done
    for p in ${names}; do kill -KILL "${p%%:*}" 2>/dev/null; done
    fail "left running after $1:$names"
}

teardown() {
    gvfs_cleanup
    lan_teardown
    sleep 0.5
    marked
    if [ ${#MARKED[@]} -gt 0 ]; then
        local p
        for p in "${MARKED[@]}"; do echo "left running: $p $(cat "/proc/$p/comm" 2>/dev/null)" >&2; done
        kill -KILL "${MARKED[@]}" 2>/dev/null
        exit 1
    fi
}
trap teardown EXIT
lan_create 3
A=$(lan_addr 1) B=$(lan_addr 2)

smb_server 1 nasa "    map to guest = Bad User" "
[public]
    path = @DIR@/public
    guest ok = yes
    read only = no
"
mkdir -p "$LAN_TMP/nasa/public"
chmod 777 "$LAN_TMP/nasa/public"
smb_server 2 nasb "    map to guest = Never
    restrict anonymous = 2" "
[private]
    path = @DIR@/private
    read only = no
    valid users = nobody
"
mkdir -p "$LAN_TMP/nasb/private"
chmod 777 "$LAN_TMP/nasb/private"
smb_user nasb nobody s3cret

gvfs_home
mkdir -p "$XDG_CONFIG_HOME/gtk-3.0" "$XDG_CONFIG_HOME/qvlink" "$LAN_TMP/out"
printf 'file:///tmp Temporary files\n' >"$XDG_CONFIG_HOME/gtk-3.0/bookmarks"
# As Map Drive leaves the file: one line per letter.
printf 'E: \\\\%s\\public\nF: \\\\%s\\private\n' "$A" "$B" >"$XDG_CONFIG_HOME/qvlink/connections"
chown -R nobody: "$HOME" "$LAN_TMP/out"

# session NAME MODE: one login of the ordinary user in the client's namespace.
session() {
    lan_log "session $1 ($2)"
    ip netns exec "$(lan_ns 0)" setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups \
        env -i PATH="$PATH" LANG=C.UTF-8 QVL_RESTORE_TEST="$LAN_ID" HOME="$HOME" XDG_CONFIG_HOME="$XDG_CONFIG_HOME" \
        XDG_DATA_HOME="$XDG_DATA_HOME" XDG_CACHE_HOME="$XDG_CACHE_HOME" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" \
        SESSION_OUT="$LAN_TMP/out/$1" SESSION_PASSWORD=s3cret SESSION_HOST="$B" SESSION_GUEST="$A" SESSION_USER=nobody \
        dbus-run-session -- bash "$here/restore_session.sh" "$qvlink" "$2" >"$LAN_TMP/out/$1.session" 2>&1 ||
        { cat "$LAN_TMP/out/$1.session" >&2; fail "session $1 failed"; }
    lan_log "session $1: status $(cat "$LAN_TMP/out/$1.rc"), $(cat "$LAN_TMP/out/$1.ms") ms"
    sed 's/^/    /' "$LAN_TMP/out/$1.err" >&2
    no_session_left "session $1"
    gvfs_cleanup
    # Logging out empties the runtime folder, as the login manager does.
    find "$XDG_RUNTIME_DIR" -mindepth 1 -delete
}

# expect_mounted NAME: both folders reported mounted and written through their FUSE paths.
expect_mounted() {
    [ "$(cat "$LAN_TMP/out/$1.rc")" = 0 ] || fail "$1: status $(cat "$LAN_TMP/out/$1.rc")"
    grep -qxF "E: \\\\$A\\public mounted" "$LAN_TMP/out/$1.err" || fail "$1: E: not mounted"
    grep -qxF "F: \\\\$B\\private mounted" "$LAN_TMP/out/$1.err" || fail "$1: F: not mounted"
    [ "$(wc -l <"$LAN_TMP/out/$1.err")" -eq 2 ] || fail "$1: more than a line per letter"
    [ -f "$LAN_TMP/nasa/public/restored-$2.txt" ] || fail "$1: nothing reached the guest server: $(cat "$LAN_TMP/out/$1.gvfs")"
    [ -f "$LAN_TMP/nasb/private/restored-$2.txt" ] || fail "$1: nothing reached the password server"
}

session first first
expect_mounted first first
entry="$XDG_CONFIG_HOME/autostart/qvlink-restore-mappings.desktop"
[ -f "$entry" ] || fail "no autostart entry"
desktop-file-validate "$entry" || fail "the autostart entry is not valid"
mapfile -d '' argv < <(python3 "$here/desktop_exec.py" "$entry")
[ "${argv[*]}" = "$(realpath "$qvlink") --restore-mappings" ] || fail "entry runs: ${argv[*]}"
for letter in E:\ public\ on\ "$A" F:\ private\ on\ "$B"; do
    grep -qF "$letter" "$XDG_CONFIG_HOME/gtk-3.0/bookmarks" || fail "no bookmark $letter"
done

# The next login: the autostart entry, nothing else.
session login login
expect_mounted login login

# A folder the user mounted already is reported mounted but not counted as the program's own,
# so moving its letter later never unmounts it; the one the restore mounted is.
session own own
expect_mounted own own
[ "$(cat "$LAN_TMP/out/own.ledger")" = "smb://$B/private" ] || fail "own mounts: $(cat "$LAN_TMP/out/own.ledger")"

# Servers away: one stopped (refuses at once), one silent (every packet to it is lost).
before=$(cat "$XDG_CONFIG_HOME/qvlink/connections" "$XDG_CONFIG_HOME/gtk-3.0/bookmarks" "$entry" | sha256sum)
kill -TERM "$(cat "$LAN_TMP/nasa.pid")" "$(cat "$LAN_TMP/nasb.pid")"
ip -n "$(lan_ns 0)" neigh replace "$B" lladdr 02:00:00:00:77:99 dev "$(lan_if 0)" nud permanent
session away login
[ "$(cat "$LAN_TMP/out/away.rc")" = 1 ] || fail "away: status $(cat "$LAN_TMP/out/away.rc")"
[ "$(cat "$LAN_TMP/out/away.ms")" -le 30000 ] || fail "away: took $(cat "$LAN_TMP/out/away.ms") ms"
grep -qF "E: \\\\$A\\public not mounted: " "$LAN_TMP/out/away.err" || fail "away: E: line"
grep -qF "F: \\\\$B\\private not mounted: " "$LAN_TMP/out/away.err" || fail "away: F: line"
after=$(cat "$XDG_CONFIG_HOME/qvlink/connections" "$XDG_CONFIG_HOME/gtk-3.0/bookmarks" "$entry" | sha256sum)
[ "$before" = "$after" ] || fail "something was forgotten while the servers were away"
echo "PASS: restored at login from the autostart entry with the keyring's password; servers away forget nothing (away: $(cat "$LAN_TMP/out/away.ms") ms)"
