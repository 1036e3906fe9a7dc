#!/usr/bin/env bash
# One login of test_restore.sh, run as the test's ordinary user inside dbus-run-session in the
# client's namespace: the keyring comes up unlocked with the login password, then the drive
# letters are restored the way the mode says. Standard error of the restore goes to
# $SESSION_OUT.err, its exit status to .rc, its wall time in ms to .ms.
#   restore_session.sh QVLINK first|login
#     first: the password goes to the keyring and the restore runs directly, as Map Drive
#            leaves things; login: exactly the autostart entry's command line runs; own: the
#            user mounts the guest folder in the file manager's way first, then the restore
#            runs (the program's ledger of its own mounts goes to $SESSION_OUT.ledger).
set -u
qvlink=$1 mode=$2 here=$(cd "$(dirname "$0")" && pwd)
source "$here/../platform/keyring/keyring.sh"
trap keyring_stop EXIT
keyring_start || exit 1
entry="$XDG_CONFIG_HOME/autostart/qvlink-restore-mappings.desktop"
if [ "$mode" = first ]; then
    printf '%s' "$SESSION_PASSWORD" |
        secret-tool store --label="smb $SESSION_HOST" xdg:schema org.gnome.keyring.NetworkPassword server "$SESSION_HOST" protocol smb user "$SESSION_USER" \
            domain WORKGROUP || exit 1
    argv=("$qvlink" --restore-mappings)
elif [ "$mode" = own ]; then
    gio mount -a "smb://$SESSION_GUEST/public" || exit 1
    argv=("$qvlink" --restore-mappings)
else
    [ -f "$entry" ] || { echo "no autostart entry" >&2; exit 1; }
    mapfile -d '' argv < <(python3 "$here/desktop_exec.py" "$entry") || exit 1
    [ ${#argv[@]} -gt 0 ] || { echo "no Exec in the entry" >&2; exit 1; }
fi
start=$(date +%s%N)
"${argv[@]}" 2>"$SESSION_OUT.err" </dev/null
echo $? >"$SESSION_OUT.rc"
echo $((($(date +%s%N) - start) / 1000000)) >"$SESSION_OUT.ms"
# Each mounted folder is written through its FUSE path, as a program of the user's would.
for dir in "$XDG_RUNTIME_DIR"/gvfs/smb-share:*; do
    [ -d "$dir" ] && printf '%s\n' "$mode" >"$dir/restored-$mode.txt"
done
ls "$XDG_RUNTIME_DIR/gvfs" >"$SESSION_OUT.gvfs" 2>&1
cat "$XDG_RUNTIME_DIR/qvlink/made-mounts" >"$SESSION_OUT.ledger" 2>&1
exit 0
