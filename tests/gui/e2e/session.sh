#!/usr/bin/env bash
# One login of the e2e user, run by user-day.sh inside the demo's D-Bus session: the keyring
# comes up unlocked with the login password (the same keyring file at every login, since HOME
# stays), then
#   session.sh day      the user's day (user_day.py); after the window has closed, the
#                       keyring must hold the password typed for the locked NAS
#   session.sh login    exactly what the autostart entry says runs, as the desktop starts it
#                       at login; its standard error goes to $E2E_OUT/restore.err, its exit
#                       status to restore.rc, and a file is written through the FUSE path of
#                       each remembered folder (restore.fuse lists what was written where)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../platform/keyring/keyring.sh"
trap keyring_stop EXIT
keyring_start || exit 1

if [ "$1" = day ]; then
    /usr/bin/python3 "$here/user_day.py" || exit
    stored=$(secret-tool lookup server "$E2E_LOCKED_ADDR" protocol smb user "$E2E_LOCKED_USER") ||
        { echo "FAIL: no password for $E2E_LOCKED_USER@$E2E_LOCKED_ADDR in the keyring" >&2; exit 1; }
    [ "$stored" = "$E2E_LOCKED_PASSWORD" ] || { echo "FAIL: the keyring holds another password" >&2; exit 1; }
    echo "the keyring holds the password of $E2E_LOCKED_USER@$E2E_LOCKED_ADDR"
    exit 0
fi

entry="$XDG_CONFIG_HOME/autostart/qvlink-restore-mappings.desktop"
mapfile -d '' argv < <(/usr/bin/python3 "$here/../../lan/desktop_exec.py" "$entry")
[ ${#argv[@]} -gt 0 ] || { echo "FAIL: no command in $entry" >&2; exit 1; }
echo "login runs: ${argv[*]}"
"${argv[@]}" 2>"$E2E_OUT/restore.err" </dev/null
echo $? >"$E2E_OUT/restore.rc"
# A program of the user's writing into each drive, through GVfs's FUSE view of it.
: >"$E2E_OUT/restore.fuse"
while read -r letter unc; do
    unc=${unc#\\\\} address=${unc%%\\*} share=${unc#*\\}
    for dir in "$XDG_RUNTIME_DIR"/gvfs/smb-share:*; do
        case ",${dir##*/smb-share:}," in *",server=$address,"*) ;; *) continue ;; esac
        case ",${dir##*/smb-share:}," in *",share=$share,"*) ;; *) continue ;; esac
        printf 'after login (%s)\n' "$letter" >"$dir/after-login.txt" &&
            printf '%s %s %s\n' "$letter" "$address" "$share" >>"$E2E_OUT/restore.fuse"
    done
done <"$XDG_CONFIG_HOME/qvlink/connections"
exit 0
