# Samba servers and a GVfs session for the share tests, sourced after lan.sh.
#
# smb_server HOST NAME EXTRA_GLOBAL SHARES: smbd on HOST with its own smb.conf, state and
# shares under $LAN_TMP/NAME; SHARES is smb.conf text for the shares, in which @DIR@ stands for
# that folder. Returns once port 445 answers; the PID is in $LAN_TMP/NAME.pid. smbd runs in a
# process group of its own: on its way out it signals its whole group.
SHARES_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

smb_server() {
    local host=$1 name=$2 global=$3 shares=$4 dir="$LAN_TMP/$2" d
    for d in state cache lock pid private ncalrpc log spool; do mkdir -p "$dir/$d"; done
    # Guests and mapped users are "nobody": they must pass through to the shared folders.
    chmod 711 "$LAN_TMP" "$dir"
    cat >"$dir/smb.conf" <<CONF
[global]
    workgroup = WORKGROUP
    server role = standalone server
    interfaces = $(lan_addr "$host")
    bind interfaces only = yes
    smb ports = 445
    disable netbios = yes
    server min protocol = SMB2_02
    state directory = $dir/state
    cache directory = $dir/cache
    lock directory = $dir/lock
    pid directory = $dir/pid
    private dir = $dir/private
    ncalrpc dir = $dir/ncalrpc
    passdb backend = tdbsam:$dir/private/passdb.tdb
    log file = $dir/log/log.%m
    load printers = no
    printing = bsd
    printcap name = /dev/null
    disable spoolss = yes
    guest account = nobody
$global
${shares//@DIR@/$dir}
CONF
    # smbd makes a session of its own. It starts samba-dcerpcd on demand, which leaves smbd's
    # process group too: that is found by this configuration file and stopped on exit.
    LAN_STRAYS+=("--configfile=$dir/smb.conf")
    LAN_GROUP=0 lan_start "$host" "$name" smbd --foreground --debug-stdout -s "$dir/smb.conf"
    echo "${LAN_PIDS[-1]}" >"$LAN_TMP/$name.pid"
    # smbd reads its whole configuration and forks its helpers first: on a loaded machine
    # (the suite runs its LAN tests side by side) that alone has taken more than 10 s.
    LAN_WAIT_SECONDS=40 lan_wait "$name" ip netns exec "$(lan_ns "$host")" bash -c "exec 3<>/dev/tcp/$(lan_addr "$host")/445"
}

# smb_user NAME USER PASSWORD: a Samba account of the existing system user USER in NAME's passdb.
smb_user() {
    printf '%s\n%s\n' "$3" "$3" | smbpasswd -c "$LAN_TMP/$1/smb.conf" -s -a "$2" >/dev/null ||
        fail "cannot add Samba user $2"
}

# gvfs_home: HOME, XDG folders and a runtime folder (0700) for a D-Bus session of the test's own.
gvfs_home() {
    local home="$LAN_TMP/home"
    mkdir -p "$home/config" "$home/data" "$home/cache" "$home/runtime"
    chmod 700 "$home/runtime"
    export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache"
    export XDG_RUNTIME_DIR="$home/runtime"
    unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
}

# gvfs_cleanup: lifts a FUSE view that a killed session left behind.
gvfs_cleanup() {
    if [ -n "${XDG_RUNTIME_DIR:-}" ] && mountpoint -q "$XDG_RUNTIME_DIR/gvfs" 2>/dev/null; then
        fusermount3 -u -z "$XDG_RUNTIME_DIR/gvfs" 2>/dev/null || umount -l "$XDG_RUNTIME_DIR/gvfs"
    fi
}

# hostile_server HOST NAME OPTIONS...: the scriptable SMB server (qvlink-smbserver.py) on HOST,
# serving $LAN_TMP/NAME; returns once its port is open.
hostile_server() {
    local host=$1 name=$2
    shift 2
    mkdir -p "$LAN_TMP/$name"
    lan_start "$host" "$name" /usr/bin/python3 "$SHARES_DIR/qvlink-smbserver.py" --addr "$(lan_addr "$host")" \
        --dir "$LAN_TMP/$name" --log "$LAN_TMP/$name.log" --ready "$LAN_TMP/$name.ready" --lifetime 200 "$@"
    lan_wait "$name" test -s "$LAN_TMP/$name.ready"
}
