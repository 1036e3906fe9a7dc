# Test LAN of network namespaces, sourced by the LAN tests and the search benchmark.
#
# lan_create N builds N hosts: namespaces qvl<PID>n0 .. n<N-1>, each with one veth link to a
# bridge that lives in a switch namespace of its own (qvl<PID>sw), so nothing is added to the
# namespace the script runs in. Host i has 10.77.0.(i+1)/24, a 224.0.0.0/4 route on its link
# and a default route over it, so the search picks that address as its interface. Names carry
# the PID, so several scripts can run at once. Everything created is removed on exit, failure
# included; only namespaces created here are ever deleted.
#
# Needs bash, root and `ip netns`.

LAN_ID="qvl$$"
LAN_SW="${LAN_ID}sw"
LAN_BRIDGE="${LAN_ID}b0"
LAN_NETNS=()
LAN_PIDS=()
LAN_TMP=""
LAN_HOSTS=0

lan_log() { echo "[$(date +%T.%3N)] $*" >&2; }

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Exit 77 (skipped) when this machine cannot build the LAN.
lan_require() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "SKIP: the test LAN needs root" >&2
        exit 77
    fi
    if ! command -v ip >/dev/null || ! ip netns list >/dev/null 2>&1; then
        echo "SKIP: ip netns is not available" >&2
        exit 77
    fi
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed" >&2
            exit 77
        fi
    done
}

lan_ns() { echo "${LAN_ID}n$1"; }
lan_if() { echo "${LAN_ID}p$1"; }
lan_addr() { echo "10.77.0.$(($1 + 1))"; }

lan_teardown() {
    local pid ns i
    for pid in "${LAN_PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null
    done
    for pid in "${LAN_PIDS[@]}"; do
        for i in $(seq 20); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    LAN_PIDS=()
    for ns in "${LAN_NETNS[@]}"; do
        ip netns del "$ns" 2>/dev/null
    done
    LAN_NETNS=()
    if [ -n "$LAN_TMP" ] && [ -z "${LAN_KEEP_TMP:-}" ]; then
        rm -rf "$LAN_TMP"
    fi
}

lan_init() {
    LAN_TMP=$(mktemp -d "/tmp/${LAN_ID}.XXXXXX")
    trap lan_teardown EXIT
    trap 'exit 130' INT TERM
}

lan_add_netns() {
    ip netns add "$1" || fail "cannot create namespace $1"
    LAN_NETNS+=("$1")
}

lan_create() {
    local hosts=$1 i ns dev
    lan_add_netns "$LAN_SW"
    ip -n "$LAN_SW" link set lo up
    ip -n "$LAN_SW" link add "$LAN_BRIDGE" type bridge mcast_snooping 0 || fail "bridge"
    ip -n "$LAN_SW" link set "$LAN_BRIDGE" up
    for ((i = 0; i < hosts; i++)); do
        ns=$(lan_ns "$i")
        dev=$(lan_if "$i")
        lan_add_netns "$ns"
        ip -n "$LAN_SW" link add "${LAN_ID}h$i" type veth peer name "$dev" netns "$ns" || fail "veth $i"
        ip -n "$LAN_SW" link set "${LAN_ID}h$i" master "$LAN_BRIDGE" up
        ip -n "$ns" link set lo up
        ip -n "$ns" addr add "$(lan_addr "$i")/24" dev "$dev"
        ip -n "$ns" link set "$dev" up
        ip -n "$ns" route add 224.0.0.0/4 dev "$dev"
        ip -n "$ns" route add default dev "$dev"
    done
    LAN_HOSTS=$hosts
}

# lan_start HOST NAME COMMAND...: runs COMMAND in host HOST in the background, output in
# $LAN_TMP/NAME.out; the process is stopped by PID on exit.
lan_start() {
    local host=$1 name=$2
    shift 2
    ip netns exec "$(lan_ns "$host")" "$@" >"$LAN_TMP/$name.out" 2>&1 &
    LAN_PIDS+=($!)
}

# lan_device HOST NAME [OPTIONS...]: starts a scriptable device process on HOST; its log is
# $LAN_TMP/NAME.log. Waits until its sockets are open.
lan_device() {
    local host=$1 name=$2
    shift 2
    rm -f "$LAN_TMP/$name.ready"
    lan_start "$host" "$name" python3 "$LAN_DEVICE" --addr "$(lan_addr "$host")" \
        --log "$LAN_TMP/$name.log" --ready "$LAN_TMP/$name.ready" --lifetime "${LAN_DEVICE_LIFETIME:-90}" "$@"
    local i
    for i in $(seq 100); do
        [ -s "$LAN_TMP/$name.ready" ] && return 0
        sleep 0.1
    done
    cat "$LAN_TMP/$name.out" >&2
    fail "device $name did not start"
}

# lan_minidlna HOST NAME: a MiniDLNA media server with its own config, database and media
# folder; waits until its HTTP port answers.
lan_minidlna() {
    local host=$1 name=$2 dir="$LAN_TMP/$2"
    mkdir -p "$dir/media" "$dir/db" "$dir/log"
    printf 'test\n' >"$dir/media/note.txt"
    cat >"$dir/minidlna.conf" <<EOF
network_interface=$(lan_if "$host")
port=8200
media_dir=$dir/media
db_dir=$dir/db
log_dir=$dir/log
friendly_name=LAN media server
inotify=no
notify_interval=900
serial=12345678
model_number=1
EOF
    lan_start "$host" "$name" minidlnad -d -f "$dir/minidlna.conf" -P "$dir/minidlna.pid"
    local i
    for i in $(seq 100); do
        if ip netns exec "$(lan_ns "$host")" bash -c "exec 3<>/dev/tcp/$(lan_addr "$host")/8200" 2>/dev/null; then
            return 0
        fi
        sleep 0.1
    done
    cat "$LAN_TMP/$name.out" >&2
    fail "minidlna did not start"
}

# lan_scan HOST NAME [OPTIONS...]: runs qvlink-scan on HOST in the foreground; standard
# output in $LAN_TMP/NAME.out, standard error in $LAN_TMP/NAME.err, wall time in ms in
# $LAN_TMP/NAME.ms. Returns the scan's exit status.
lan_scan() {
    local host=$1 name=$2 rc start end
    shift 2
    start=$(date +%s%N)
    ip netns exec "$(lan_ns "$host")" "$LAN_SCAN" "$@" >"$LAN_TMP/$name.out" 2>"$LAN_TMP/$name.err"
    rc=$?
    end=$(date +%s%N)
    echo $(((end - start) / 1000000)) >"$LAN_TMP/$name.ms"
    return $rc
}

# Count of "get" lines (description requests) in the device logs given.
lan_gets() { cat "$@" 2>/dev/null | grep -c ' get ' || true; }

# lan_ports NAME: the HTTP ports of the devices of process NAME, in device order.
lan_ports() { grep -m1 ' ready ' "$LAN_TMP/$1.log" | sed 's/.*ports=//; s/,/ /g'; }

# lan_search HOST NAME: one search with TSV output (NAME.out) and one with --json
# (NAME-json.out), both exit 0, and the two outputs agree (check_scan.py).
lan_search() {
    local host=$1 name=$2
    lan_scan "$host" "$name" || fail "qvlink-scan exited $? (stderr: $(head -c 2000 "$LAN_TMP/$name.err"))"
    lan_scan "$host" "$name-json" --json || fail "qvlink-scan --json exited $?"
    python3 "$LAN_DIR/check_scan.py" "$LAN_TMP/$name.out" "$LAN_TMP/$name-json.out" || {
        cat "$LAN_TMP/$name.out" "$LAN_TMP/$name-json.out" >&2
        fail "TSV and JSON outputs"
    }
}

# lan_setup_test SCAN DEVICE: the arguments every LAN test receives from ctest.
lan_setup_test() {
    LAN_SCAN=$1
    LAN_DEVICE=$2
    LAN_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    [ -x "$LAN_SCAN" ] || fail "no qvlink-scan at $LAN_SCAN"
}

# tsv_field FILE HOSTPORT N: field N (1-based) of the TSV record whose hostPort is HOSTPORT.
tsv_field() { awk -F '\t' -v h="$2" -v n="$3" '$5 == h { print $n }' "$LAN_TMP/$1"; }
