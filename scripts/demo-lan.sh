# The demo's simulated LAN, sourced by scripts/demo.sh and by the tests that use it. Needs
# bash, root and `ip netns`. Built from the test LAN (tests/lan/lan.sh, shares.sh): namespaces
# on a bridge, nothing added to the namespace the caller runs in.
#
#   demo_lan_up          builds the LAN; tears it down by itself when the caller exits
#   demo_lan_describe    prints what was set up
#   demo_session CMD...  runs CMD on the PC with the demo's own HOME and D-Bus session
#   demo_lan_down        stops everything started here and removes the namespaces and files
#
# Host 0 is the PC that runs QV Link; hosts 1 to 3 are the maker's NAS devices, each with its
# own smbd and a web configuration page; host 4 is MiniDLNA, a media server of another maker.

DEMO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LAN_DIR="$DEMO_ROOT/tests/lan"
LAN_DEVICE="$LAN_DIR/qvlink-testdevice.py"
source "$LAN_DIR/lan.sh"
source "$LAN_DIR/shares.sh"

DEMO_USER=demo
DEMO_PASSWORD=demo-1234
DEMO_PC=0
DEMO_MEDIA=4
# One entry per NAS, by host number: name, model number (it picks the shortcut's icon), and
# whether its smbd asks for the password.
DEMO_NAS_HOSTS=(1 2 3)
DEMO_NAS_NAMES=("QV NAS Office" "QV NAS Family" "QV NAS Backup")
DEMO_NAS_MODELS=("QV-KTA104" "QV-KTB201" "QV-KTC31")
DEMO_NAS_LOCKED=(0 1 0)
DEMO_ENV=()

# Exits 77 (skipped) when a tool the LAN needs, or one named, is missing; the demo turns that
# into a hint.
demo_lan_require() {
    lan_require python3 smbd smbpasswd minidlnad dbus-run-session "$@"
}

# demo_nas_dir HOST: the folder of HOST's smbd (configuration, state and shared folders).
demo_nas_dir() { echo "$LAN_TMP/nas$1"; }

# Shared folders with a few files, so that Browse and a mapped drive show something. Guests
# and the password account act as "nobody" on the server, so the folders are open to it.
demo_fill_shares() {
    local dir=$1 locked=$2
    if [ "$locked" = 1 ]; then
        mkdir -p "$dir/photos/2026" "$dir/documents"
        printf 'Holiday photos go here.\n' >"$dir/photos/2026/README.txt"
        printf 'Shopping list\n- milk\n- bread\n' >"$dir/documents/Shopping list.txt"
    else
        mkdir -p "$dir/public/Projects" "$dir/media/Music"
        printf 'Welcome to the QV Link demo.\nFiles written here land on the simulated NAS.\n' >"$dir/public/Welcome.txt"
        printf 'Plan for the week.\n' >"$dir/public/Projects/plan.txt"
        printf 'A playlist.\n' >"$dir/media/Music/playlist.m3u"
    fi
    chmod -R a+rwX "$dir/public" "$dir/media" "$dir/photos" "$dir/documents" 2>/dev/null
    return 0
}

demo_smbd() {
    local host=$1 locked=$2 name="nas$1" dir
    dir=$(demo_nas_dir "$host")
    if [ "$locked" = 1 ]; then
        # Samba checks the password of the account "demo" maps to; guests are refused.
        mkdir -p "$dir"
        printf 'nobody = %s\n' "$DEMO_USER" >"$dir/users.map"
        smb_server "$host" "$name" "    map to guest = Never
    restrict anonymous = 2
    username map = $dir/users.map" "
[photos]
    path = @DIR@/photos
    comment = Family photos
    read only = no
    valid users = nobody
[documents]
    path = @DIR@/documents
    comment = Documents
    read only = no
    valid users = nobody
"
        smb_user "$name" nobody "$DEMO_PASSWORD"
    else
        smb_server "$host" "$name" "    map to guest = Bad User" "
[public]
    path = @DIR@/public
    comment = Public files
    guest ok = yes
    read only = no
[media]
    path = @DIR@/media
    comment = Music and videos
    guest ok = yes
    read only = no
[config]
    path = @DIR@/media
    comment = System Configuration
    guest ok = yes
"
    fi
    demo_fill_shares "$dir" "$locked"
}

# The small web configuration page the NAS serves at its presentation address.
demo_page() {
    local name=$1 address=$2 file=$3
    cat >"$file" <<EOF
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>$name - configuration</title></head>
<body style="font-family: sans-serif; background: #3b3b3b; color: #c1c1c1">
<h1 style="color: #ff921a">$name</h1>
<p>Web configuration of a simulated NAS at $address (QV Link demo).</p>
<table><tr><td>Status</td><td>Ready</td></tr><tr><td>Shares</td><td>see QV Link</td></tr></table>
</body></html>
EOF
}

demo_lan_up() {
    local i host
    lan_init
    trap demo_lan_down EXIT
    # The demo runs as long as the user plays with it; the devices still end by themselves.
    LAN_DEVICE_LIFETIME=${DEMO_LIFETIME:-43200}
    lan_create 5
    for i in "${!DEMO_NAS_HOSTS[@]}"; do
        host=${DEMO_NAS_HOSTS[$i]}
        demo_smbd "$host" "${DEMO_NAS_LOCKED[$i]}"
        demo_page "${DEMO_NAS_NAMES[$i]}" "$(lan_addr "$host")" "$(demo_nas_dir "$host")/index.html"
        lan_device "$host" "device$host" --friendly-name "${DEMO_NAS_NAMES[$i]}" \
            --model-number "${DEMO_NAS_MODELS[$i]}" --presentation-url "http://{addr}:{port}/" \
            --page "/=$(demo_nas_dir "$host")/index.html" --answer-limit 100000
    done
    lan_minidlna "$DEMO_MEDIA" minidlna
}

# demo_page_url HOST: the address of HOST's web configuration page.
demo_page_url() { echo "http://$(lan_hp "$1" "device$1")/"; }

demo_lan_describe() {
    local i host
    echo "Simulated LAN (network namespaces ${LAN_ID}*, bridge ${LAN_ID}b0):"
    printf '  %-15s %-10s %s\n' "QV Link (PC)" "$(lan_addr $DEMO_PC)" ""
    for i in "${!DEMO_NAS_HOSTS[@]}"; do
        host=${DEMO_NAS_HOSTS[$i]}
        if [ "${DEMO_NAS_LOCKED[$i]}" = 1 ]; then
            printf '  %-15s %-10s shares photos, documents: user "%s", password "%s"\n' "${DEMO_NAS_NAMES[$i]}" \
                "$(lan_addr "$host")" "$DEMO_USER" "$DEMO_PASSWORD"
        else
            printf '  %-15s %-10s shares public, media: guests welcome\n' "${DEMO_NAS_NAMES[$i]}" "$(lan_addr "$host")"
        fi
        printf '  %-15s %-10s web page %s\n' "" "" "$(demo_page_url "$host")"
    done
    printf '  %-15s %-10s MiniDLNA, another maker: found by the search, not listed\n' "Media server" \
        "$(lan_addr $DEMO_MEDIA)"
}

# demo_session CMD...: runs CMD on the PC host in a D-Bus session of its own (GVfs mounts a
# mapped folder there), with HOME and the XDG folders under the LAN's temporary folder, so the
# desktop shortcuts and drive letters of the demo go away with it. DISPLAY, XAUTHORITY and the
# language variables are passed on; DEMO_RUN_AS=UID:GID runs CMD as that user; DEMO_ENV (an
# array of NAME=VALUE) adds to the environment.
demo_session() {
    local home="$LAN_TMP/home" as=()
    mkdir -p "$home/Desktop" "$home/.config" "$home/.local/share" "$home/.cache" "$home/runtime"
    printf 'XDG_DESKTOP_DIR="$HOME/Desktop"\n' >"$home/.config/user-dirs.dirs"
    chmod 700 "$home/runtime"
    if [ -n "${DEMO_RUN_AS:-}" ]; then
        chown -R "$DEMO_RUN_AS" "$home"
        as=(setpriv --reuid="${DEMO_RUN_AS%:*}" --regid="${DEMO_RUN_AS#*:}" --init-groups)
    fi
    ip netns exec "$(lan_ns $DEMO_PC)" "${as[@]}" env -i PATH="$PATH" HOME="$home" USER="${DEMO_USER_NAME:-root}" \
        XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache" \
        XDG_RUNTIME_DIR="$home/runtime" XDG_CONFIG_DIRS="${XDG_CONFIG_DIRS:-/etc/xdg}" \
        XDG_DATA_DIRS="${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" \
        ${DISPLAY:+DISPLAY="$DISPLAY"} ${XAUTHORITY:+XAUTHORITY="$XAUTHORITY"} QT_QPA_PLATFORM=xcb \
        LANG="${LANG:-C.UTF-8}" ${LANGUAGE:+LANGUAGE="$LANGUAGE"} ${LC_ALL:+LC_ALL="$LC_ALL"} \
        ${LC_MESSAGES:+LC_MESSAGES="$LC_MESSAGES"} "${DEMO_ENV[@]}" dbus-run-session -- "$@"
}

# Stops what is left in the LAN's namespaces (a session's GVfs daemons, smbd's children): every
# process in them was started from here. Then lifts a FUSE view left behind and removes the
# namespaces, the bridge and veth links with them, and the temporary folder.
demo_lan_down() {
    local ns pids pid i
    for ns in "${LAN_NETNS[@]}"; do
        pids=$(ip netns pids "$ns" 2>/dev/null)
        [ -n "$pids" ] && kill -TERM $pids 2>/dev/null
    done
    for i in $(seq 30); do
        pids=
        for ns in "${LAN_NETNS[@]}"; do pids+=$(ip netns pids "$ns" 2>/dev/null); done
        [ -z "$pids" ] && break
        sleep 0.1
    done
    for ns in "${LAN_NETNS[@]}"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    done
    if [ -n "$LAN_TMP" ]; then
        XDG_RUNTIME_DIR="$LAN_TMP/home/runtime" gvfs_cleanup
    fi
    lan_teardown
}
