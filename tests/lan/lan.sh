# Test LAN of network namespaces, sourced by the LAN tests, the search benchmark and the
# screenshot script. Needs bash, root and `ip netns`.
#
# lan_create N builds hosts qvl<PID>n0 .. n<N-1>, each joined by a veth link to a bridge in a
# switch namespace of its own, so nothing is added to the namespace the script runs in. Host i
# has 10.77.0.(i+1)/24 with a multicast and a default route on its link, so the search picks
# that address. Names carry the PID, so scripts run in parallel; on exit, failure included,
# only what was created here is removed.

LAN_ID="qvl$$"
LAN_SW="${LAN_ID}sw"
LAN_NETNS=()
LAN_PIDS=()
LAN_STRAYS=()
LAN_TMP=""

lan_log() { echo "[$(date +%T.%3N)] $*" >&2; }
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*" >&2; exit 77; }

# Exits 77 (skipped) when this machine cannot build the LAN or lacks one of the tools named.
lan_require() {
    local tool
    [ "$(id -u)" -eq 0 ] || skip "the test LAN needs root"
    ip netns list >/dev/null 2>&1 || skip "ip netns is not available"
    for tool in "$@"; do
        command -v "$tool" >/dev/null || skip "$tool is not installed"
    done
}

lan_ns() { echo "${LAN_ID}n$1"; }
lan_if() { echo "${LAN_ID}p$1"; }
lan_addr() { echo "10.77.0.$(($1 + 1))"; }

# lan_stop_pids SIGNAL_GROUPS PID...: TERM, up to 2 s to go, then KILL; with SIGNAL_GROUPS=1
# each PID's process group gets the signals too.
lan_stop_pids() {
    local groups=$1 pid i
    shift
    for pid in "$@"; do
        [ "$groups" = 1 ] && kill -TERM -- "-$pid" 2>/dev/null
        kill -TERM "$pid" 2>/dev/null
    done
    for pid in "$@"; do
        for i in $(seq 20); do
            kill -0 "$pid" 2>/dev/null || break
            [ "$(ps -o stat= -p "$pid" 2>/dev/null)" = Z ] && break
            sleep 0.1
        done
        [ "$groups" = 1 ] && kill -KILL -- "-$pid" 2>/dev/null
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
}

# Live processes in the namespaces created here, one PID a line. Every one is this script's:
# nothing else enters them. Zombies are over, whoever is to reap them.
lan_own_pids() {
    local ns pid
    for ns in "${LAN_NETNS[@]}"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            case "$(ps -o stat= -p "$pid" 2>/dev/null)" in Z* | "") ;; *) echo "$pid" ;; esac
        done
    done
}

# Stops what was started here: each process started by lan_start with its process group, then
# the helpers a server started on its own outside its group (registered in LAN_STRAYS as a
# command-line text, such as smbd's configuration file, which samba-dcerpcd carries). A process
# left in the namespaces after that fails the script, and is stopped too.
lan_teardown() {
    local ns text stray=() left=()
    lan_stop_pids 1 "${LAN_PIDS[@]}"
    for text in "${LAN_STRAYS[@]}"; do
        stray+=($(pgrep -f -- "$text"))
    done
    [ ${#stray[@]} -gt 0 ] && lan_stop_pids 1 "${stray[@]}"
    left=($(lan_own_pids))
    if [ ${#left[@]} -gt 0 ]; then
        echo "FAIL: processes of this test still running after its servers stopped:" >&2
        ps -o pid=,args= -p "$(IFS=,; echo "${left[*]}")" >&2
        lan_stop_pids 0 "${left[@]}"
    fi
    for ns in "${LAN_NETNS[@]}"; do ip netns del "$ns" 2>/dev/null; done
    LAN_PIDS=() LAN_NETNS=() LAN_STRAYS=()
    [ -n "$LAN_TMP" ] && [ -z "${LAN_KEEP_TMP:-}" ] && rm -rf "$LAN_TMP"
    [ ${#left[@]} -eq 0 ] || exit 1
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
    local i ns dev bridge="${LAN_ID}b0"
    lan_add_netns "$LAN_SW"
    ip -n "$LAN_SW" link set lo up
    ip -n "$LAN_SW" link add "$bridge" type bridge mcast_snooping 0 || fail "bridge"
    ip -n "$LAN_SW" link set "$bridge" up
    for ((i = 0; i < $1; i++)); do
        ns=$(lan_ns "$i") dev=$(lan_if "$i")
        lan_add_netns "$ns"
        ip -n "$LAN_SW" link add "${LAN_ID}h$i" type veth peer name "$dev" netns "$ns" || fail "veth $i"
        ip -n "$LAN_SW" link set "${LAN_ID}h$i" master "$bridge" up
        ip -n "$ns" link set lo up
        ip -n "$ns" addr add "$(lan_addr "$i")/24" dev "$dev"
        ip -n "$ns" link set "$dev" up
        ip -n "$ns" route add 224.0.0.0/4 dev "$dev"
        ip -n "$ns" route add default dev "$dev"
    done
}

# lan_start HOST NAME COMMAND...: runs COMMAND in HOST in the background, output in
# $LAN_TMP/NAME.out, in a process group of its own (setsid execs in place: the PID stays the
# command's); the process and its group are stopped on exit. LAN_GROUP=0 leaves out the
# group, for commands that make a session of their own (setsid fails for a group leader).
lan_start() {
    local host=$1 name=$2 group=()
    shift 2
    [ "${LAN_GROUP:-1}" = 1 ] && group=(setsid)
    "${group[@]}" ip netns exec "$(lan_ns "$host")" "$@" >"$LAN_TMP/$name.out" 2>&1 &
    LAN_PIDS+=($!)
}

# lan_wait NAME COMMAND...: waits up to LAN_WAIT_SECONDS (10) for COMMAND to succeed, else fails
# showing NAME's output.
lan_wait() {
    local name=$1 i
    shift
    for i in $(seq $(( ${LAN_WAIT_SECONDS:-10} * 10 ))); do
        "$@" 2>/dev/null && return 0
        sleep 0.1
    done
    cat "$LAN_TMP/$name.out" >&2
    fail "$name did not start"
}

# lan_device HOST NAME [OPTIONS...]: a scriptable device process on HOST, logging to
# $LAN_TMP/NAME.log; returns once its sockets are open.
lan_device() {
    local host=$1 name=$2
    shift 2
    lan_start "$host" "$name" python3 "$LAN_DEVICE" --addr "$(lan_addr "$host")" --log "$LAN_TMP/$name.log" \
        --ready "$LAN_TMP/$name.ready" --lifetime "${LAN_DEVICE_LIFETIME:-90}" "$@"
    lan_wait "$name" test -s "$LAN_TMP/$name.ready"
}

# lan_minidlna HOST NAME: MiniDLNA with its own config, database and media folder; returns
# once its HTTP port answers.
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
    lan_wait "$name" ip netns exec "$(lan_ns "$host")" bash -c "exec 3<>/dev/tcp/$(lan_addr "$host")/8200"
}

# lan_scan HOST NAME [OPTIONS...]: qvlink-scan on HOST in the foreground; standard output in
# $LAN_TMP/NAME.out, standard error in NAME.err, wall time in ms in NAME.ms. Returns its status.
lan_scan() {
    local host=$1 name=$2 rc start
    shift 2
    start=$(date +%s%N)
    ip netns exec "$(lan_ns "$host")" "$LAN_SCAN" "$@" >"$LAN_TMP/$name.out" 2>"$LAN_TMP/$name.err"
    rc=$?
    echo $((($(date +%s%N) - start) / 1000000)) >"$LAN_TMP/$name.ms"
    return $rc
}

# lan_search HOST NAME: one search with TSV output (NAME.out) and one with --json
# (NAME-json.out), both exit 0, and the two outputs agree.
lan_search() {
    lan_scan "$1" "$2" || fail "qvlink-scan exited $? (stderr: $(head -c 2000 "$LAN_TMP/$2.err"))"
    lan_scan "$1" "$2-json" --json || fail "qvlink-scan --json exited $?"
    python3 "$LAN_DIR/check_scan.py" "$LAN_TMP/$2.out" "$LAN_TMP/$2-json.out" ||
        fail "TSV and JSON outputs: $(cat "$LAN_TMP/$2.out" "$LAN_TMP/$2-json.out")"
}

# lan_setup_test SCAN DEVICE: the arguments every LAN test receives from ctest.
lan_setup_test() {
    LAN_SCAN=$1 LAN_DEVICE=$2
    LAN_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    [ -x "$LAN_SCAN" ] || fail "no qvlink-scan at $LAN_SCAN"
}

# Count of description requests in the device logs given.
lan_gets() { cat "$@" 2>/dev/null | grep -c ' get ' || true; }
# lan_hp HOST NAME: address and first HTTP port of the devices of process NAME on HOST.
lan_hp() { echo "$(lan_addr "$1"):$(grep -m1 ' ready ' "$LAN_TMP/$2.log" | sed 's/.*ports=//; s/,.*//')"; }
# tsv_field FILE HOSTPORT N: field N (1-based) of the TSV record whose hostPort is HOSTPORT.
tsv_field() { awk -F '\t' -v h="$2" -v n="$3" '$5 == h { print $n }' "$LAN_TMP/$1"; }
# expect_fields FILE HOSTPORT N VALUE...: fields N, N+1, ... of that record are the VALUEs.
expect_fields() {
    local file=$1 hp=$2 n=$3 value got
    shift 3
    for value in "$@"; do
        got=$(tsv_field "$file" "$hp" "$n")
        [ "$got" = "$value" ] || fail "$hp, field $n: '$got', expected '$value'"
        n=$((n + 1))
    done
}

# Layouts of several LANs (for hosts with more than one interface). lan_host HOST makes host
# HOST's namespace with only lo; lan_link HOST LAN ADDR/PREFIX joins it to LAN (a bridge of the
# switch namespace, made on first use) by a veth of its own, named as lan_link_if HOST LAN
# prints. Routes are the caller's: an address's own network comes with it.
lan_host() {
    [ ${#LAN_NETNS[@]} -gt 0 ] || { lan_add_netns "$LAN_SW"; ip -n "$LAN_SW" link set lo up; }
    lan_add_netns "$(lan_ns "$1")"
    ip -n "$(lan_ns "$1")" link set lo up
}
lan_link_if() { echo "${LAN_ID}p$1l$2"; }
lan_link() {
    local host=$1 lan=$2 addr=$3 ns dev bridge="${LAN_ID}b$2"
    ns=$(lan_ns "$host") dev=$(lan_link_if "$host" "$lan")
    if ! ip -n "$LAN_SW" link show "$bridge" >/dev/null 2>&1; then
        ip -n "$LAN_SW" link add "$bridge" type bridge mcast_snooping 0 || fail "bridge $lan"
        ip -n "$LAN_SW" link set "$bridge" up
    fi
    ip -n "$LAN_SW" link add "${LAN_ID}h$1l$2" type veth peer name "$dev" netns "$ns" || fail "veth $host/$lan"
    ip -n "$LAN_SW" link set "${LAN_ID}h$1l$2" master "$bridge" up
    ip -n "$ns" addr add "$addr" dev "$dev"
    ip -n "$ns" link set "$dev" up
}
# lan_device_at HOST ADDR NAME [OPTIONS...]: lan_device for a host address of the caller's choice.
lan_device_at() {
    local host=$1 addr=$2 name=$3
    shift 3
    lan_start "$host" "$name" python3 "$LAN_DEVICE" --addr "$addr" --log "$LAN_TMP/$name.log" \
        --ready "$LAN_TMP/$name.ready" --lifetime "${LAN_DEVICE_LIFETIME:-90}" "$@"
    lan_wait "$name" test -s "$LAN_TMP/$name.ready"
}
# hp_of ADDR NAME: ADDR and the first HTTP port of the devices of process NAME.
hp_of() { echo "$1:$(grep -m1 ' ready ' "$LAN_TMP/$2.log" | sed 's/.*ports=//; s/,.*//')"; }
# The M-SEARCH every interface sends, as hex.
LAN_MSEARCH_HEX=$(printf 'M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nST: upnp:rootdevice\r\nMAN: "ssdp:discover"\r\nMX: 1\r\n\r\n' | od -An -v -tx1 | tr -d ' \n')
