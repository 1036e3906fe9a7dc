#!/usr/bin/env bash
# The demo's LAN (scripts/demo-lan.sh) comes up as the demo prints it and goes down without a
# trace: the search finds the three NAS devices (listed) and MiniDLNA (not listed); each NAS
# serves its web page; the guest servers list their shares to anyone, the locked one refuses
# guests and a wrong password and accepts the printed password; then every namespace, link,
# process and temporary file is gone. Then the demo itself as a user runs it through sudo, from
# a checkout of that user's (the build and the program are stand-ins): build/ is built as the
# user and nothing in the checkout belongs to root afterwards; the program runs as the user,
# with the desktop settings of the demo's environment and of the caller's process.
#   test_demo_lan.sh QVLINK_SCAN
set -u
source "$(dirname "$0")/../../scripts/demo-lan.sh"
LAN_SCAN=$1
[ -x "$LAN_SCAN" ] || fail "no qvlink-scan at $LAN_SCAN"
demo_lan_require
command -v smbclient >/dev/null || skip "smbclient is not installed"

start=$(date +%s%N)
demo_lan_up
lan_log "LAN up after $((($(date +%s%N) - start) / 1000000)) ms"
demo_lan_describe >"$LAN_TMP/describe.out"
grep -q "password \"$DEMO_PASSWORD\"" "$LAN_TMP/describe.out" || fail "the password is not printed: $(cat "$LAN_TMP/describe.out")"

lan_search $DEMO_PC scan
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 4 ] || fail "expected 4 records: $(cat "$LAN_TMP/scan.out")"
for i in "${!DEMO_NAS_HOSTS[@]}"; do
    host=${DEMO_NAS_HOSTS[$i]}
    hp=$(lan_hp "$host" "device$host")
    expect_fields scan.out "$hp" 2 listed QvNAS "${DEMO_NAS_NAMES[$i]}"
    expect_fields scan.out "$hp" 10 "${DEMO_NAS_MODELS[$i]}"
    expect_fields scan.out "$hp" 13 "$(demo_page_url "$host")"
done
expect_fields scan.out "$(lan_addr $DEMO_MEDIA):8200" 2 not-listed MediaServer

in_pc() { ip netns exec "$(lan_ns $DEMO_PC)" "$@"; }
# shares HOST [smbclient options]: the disk share names the server lists, sorted, on one line;
# smbclient's whole output in $LAN_TMP/smbclient.out.
shares() {
    local host=$1
    shift
    in_pc timeout 20 smbclient -s /dev/null -g -L "//$(lan_addr "$host")" "$@" >"$LAN_TMP/smbclient.out" 2>&1
    awk -F '|' '$1 == "Disk" { print $2 }' "$LAN_TMP/smbclient.out" | sort | tr '\n' ' '
}

for i in "${!DEMO_NAS_HOSTS[@]}"; do
    host=${DEMO_NAS_HOSTS[$i]}
    page=$(in_pc timeout 10 /usr/bin/python3 -c 'import sys, urllib.request
r = urllib.request.urlopen(sys.argv[1], timeout=5)
print(r.headers.get_content_type()); print(r.read().decode())' "$(demo_page_url "$host")") ||
        fail "no web page at $(demo_page_url "$host")"
    [ "$(head -n1 <<<"$page")" = text/html ] || fail "page of host $host: $(head -n1 <<<"$page")"
    grep -q "<h1[^>]*>${DEMO_NAS_NAMES[$i]}</h1>" <<<"$page" || fail "page of host $host: $page"
    if [ "${DEMO_NAS_LOCKED[$i]}" = 1 ]; then
        got=$(shares "$host" -N)
        [ -z "$got" ] || fail "host $host lists to guests: $got"
        grep -q NT_STATUS_ACCESS_DENIED "$LAN_TMP/smbclient.out" || fail "guest on host $host: $(cat "$LAN_TMP/smbclient.out")"
        got=$(shares "$host" -U "$DEMO_USER%wrong-password")
        [ -z "$got" ] || fail "host $host lists with a wrong password: $got"
        grep -q NT_STATUS_LOGON_FAILURE "$LAN_TMP/smbclient.out" || fail "wrong password on host $host: $(cat "$LAN_TMP/smbclient.out")"
        got=$(shares "$host" -U "$DEMO_USER%$DEMO_PASSWORD")
        [ "$got" = "documents photos " ] || fail "host $host with the password: '$got' $(cat "$LAN_TMP/smbclient.out")"
        listing=$(in_pc timeout 20 smbclient -s /dev/null "//$(lan_addr "$host")/photos" -U "$DEMO_USER%$DEMO_PASSWORD" \
            -c 'ls 2026/*' 2>&1) || fail "photos on host $host: $listing"
        grep -q 'README.txt' <<<"$listing" || fail "photos on host $host: $listing"
    else
        got=$(shares "$host" -N)
        [ "$got" = "config media public " ] || fail "host $host: '$got' $(cat "$LAN_TMP/smbclient.out")"
    fi
done

# Down: what was there must be gone, also the processes the servers started themselves.
namespaces=("${LAN_NETNS[@]}")
tmp=$LAN_TMP
pids=()
for ns in "${namespaces[@]}"; do pids+=($(ip netns pids "$ns")); done
[ "${#pids[@]}" -ge 8 ] || fail "expected smbd, MiniDLNA and the devices to run: ${pids[*]}"
start=$(date +%s%N)
demo_lan_down
lan_log "LAN down after $((($(date +%s%N) - start) / 1000000)) ms"
for ns in "${namespaces[@]}"; do
    [ ! -e "/run/netns/$ns" ] || fail "namespace $ns is left"
done
ip netns list | grep -q "^$LAN_ID" && fail "namespaces left: $(ip netns list | grep "^$LAN_ID")"
ip -o link | grep -q "$LAN_ID" && fail "links left: $(ip -o link | grep "$LAN_ID")"
for pid in "${pids[@]}"; do
    [ -e "/proc/$pid" ] && grep -qF "$tmp" "/proc/$pid/cmdline" 2>/dev/null && fail "process $pid is left: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
done
for cmdline in /proc/[0-9]*/cmdline; do
    grep -qF "$tmp" "$cmdline" 2>/dev/null && fail "a process of the LAN is left: $(tr '\0' ' ' <"$cmdline")"
done
[ ! -e "$tmp" ] || fail "temporary folder $tmp is left"

# The demo through sudo, as the user "nobody", from a checkout that user owns.
id nobody >/dev/null 2>&1 || skip "no ordinary user to run the demo as"
command -v setpriv >/dev/null || skip "setpriv is not installed"
demo=$(mktemp -d /tmp/qvlink-demo-checkout.XXXXXX)
caller=
trap '[ -n "$caller" ] && kill "$caller" 2>/dev/null; rm -rf "$demo"' EXIT
mkdir -p "$demo/checkout/tests" "$demo/out"
cp -r "$DEMO_ROOT/scripts" "$demo/checkout/"
cp -r "$DEMO_ROOT/tests/lan" "$demo/checkout/tests/"
printf '#!/bin/sh\nexit 0\n' >"$demo/checkout/scripts/deps.sh"
# The build: who ran it, and a program that records who runs it and with which environment.
cat >"$demo/checkout/scripts/build.sh" <<EOF
#!/bin/sh
id -u >"$demo/out/build.uid"
mkdir -p "\$1/app" "\$1/CMakeFiles" && touch "\$1/.ninja_log" "\$1/CMakeFiles/build.log"
printf '#!/bin/sh\nid -u >"$demo/out/program.uid"\nenv -0 >"$demo/out/program.env"\n' >"\$1/app/qvlink"
chmod +x "\$1/app/qvlink"
EOF
chmod +x "$demo/checkout/scripts/build.sh"
chown -R nobody: "$demo"
# The user's desktop session: its settings, which sudo does not pass on.
setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups env -i XDG_CURRENT_DESKTOP=TestDesk \
    QT_SCREEN_SCALE_FACTORS='DP-1=2;HDMI-1=1' LC_TIME=de_DE.UTF-8 BROWSER=/usr/bin/should-lose sleep 120 &
caller=$!
caller_is_user() { [ "$(awk '/^Uid:/ { print $2 }' "/proc/$caller/status" 2>/dev/null)" = "$(id -u nobody)" ]; }
for _ in $(seq 50); do caller_is_user && break; sleep 0.1; done
# run_demo VAR=VALUE...: the demo as sudo starts it for "nobody", with these variables kept.
run_demo() {
    env -i PATH="$PATH" DISPLAY=:0 LANG=C.UTF-8 SUDO_USER=nobody SUDO_UID="$(id -u nobody)" \
        SUDO_GID="$(id -g nobody)" DEMO_CALLER_PID="$caller" "$@" \
        timeout 150 bash "$demo/checkout/scripts/demo.sh" </dev/null >"$demo/demo.log" 2>&1 ||
        fail "the demo failed: $(cat "$demo/demo.log")"
}
no_root_files() {
    local owned
    owned=$(find "$demo/checkout" -uid 0)
    [ -z "$owned" ] || fail "root-owned files in the checkout after the demo: $owned"
}
program_env() {
    tr '\0' '\n' <"$demo/out/program.env" | grep -qxF "$1" ||
        fail "the program did not get $1: $(tr '\0' ' ' <"$demo/out/program.env")"
}
run_demo QT_SCALE_FACTOR=1.75 BROWSER=/usr/bin/firefox-esr
[ "$(cat "$demo/out/build.uid" 2>/dev/null)" = "$(id -u nobody)" ] || fail "build/ was not built as the user: $(cat "$demo/demo.log")"
[ "$(cat "$demo/out/program.uid" 2>/dev/null)" = "$(id -u nobody)" ] || fail "the program did not run as the user: $(cat "$demo/demo.log")"
no_root_files
program_env QT_SCALE_FACTOR=1.75
program_env BROWSER=/usr/bin/firefox-esr
program_env XDG_CURRENT_DESKTOP=TestDesk
program_env 'QT_SCREEN_SCALE_FACTORS=DP-1=2;HDMI-1=1'
program_env LC_TIME=de_DE.UTF-8
# A build/ that an older demo left to root is handed back to the user before the build.
mkdir -p "$demo/checkout/build/old" && touch "$demo/checkout/build/old/.ninja_log"
chown -R root: "$demo/checkout/build"
run_demo
no_root_files
echo "PASS: the demo LAN came up (3 NAS listed, MiniDLNA not, pages, guest and password shares) and went down cleanly;" \
    "the demo builds and runs as the calling user with the user's desktop settings"
