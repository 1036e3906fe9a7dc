#!/usr/bin/env bash
# End to end: the real program in the demo's LAN (scripts/demo-lan.sh) and the demo's session
# (its own D-Bus bus, so GVfs mounts), on the X display that x11-session.sh opened, through a
# user's day in English and in German (user_day.py), as an ordinary user whose session has a
# keyring. The recorder stands in for the browser ($BROWSER, xdg-settings naming no default)
# and for xdg-open. Then the next login: the session ends, a new one with the same keyring
# runs what the autostart entry says, and every remembered drive is there again, with no
# window on the screen.
#   user-day.sh QVLINK OUTDIR     (run by ctest as netns-run.sh x11-session.sh user-day.sh ...)
# Screenshots go to OUTDIR/en and OUTDIR/de; the program's logs to OUTDIR too.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../scripts/demo-lan.sh"
qvlink=$1 out=$2
[ -x "$qvlink" ] || fail "no program at $qvlink"
demo_lan_require xdotool xev stdbuf import /usr/bin/python3 /usr/libexec/at-spi-bus-launcher setpriv \
    gnome-keyring-daemon secret-tool dbus-send fusermount3
[ -x /usr/libexec/gvfsd-smb ] && [ -x /usr/libexec/gvfsd-fuse ] || skip "GVfs SMB or FUSE is not installed"
id nobody >/dev/null 2>&1 || skip "no ordinary user to run as"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run under x11-session.sh"
rm -rf "$out" && mkdir -p "$out" || fail "cannot make $out"
# The user of the day: an ordinary one, who owns the output folder.
DEMO_RUN_AS="$(id -u nobody):$(id -g nobody)" DEMO_USER_NAME=nobody
chown "$DEMO_RUN_AS" "$out" || fail "cannot hand $out to nobody"

# session_pids: the live processes of the PC, where only the demo's sessions run.
session_pids() {
    local pid
    for pid in $(ip netns pids "$(lan_ns "$DEMO_PC")" 2>/dev/null); do
        case "$(ps -o stat= -p "$pid" 2>/dev/null)" in Z* | "") ;; *) echo "$pid" ;; esac
    done
}

# logout NAME: the session is over. What it started must end by itself within 5 s (what is
# left is stopped by its PID and fails the test); the FUSE view is lifted and the runtime
# folder emptied, as the login manager does. HOME, with the keyring's file, stays.
logout() {
    local i pids
    for i in $(seq 50); do
        pids=$(session_pids)
        [ -z "$pids" ] && break
        sleep 0.1
    done
    if [ -n "$pids" ]; then
        ps -o pid=,args= -p "$(echo $pids | tr ' ' ,)" >&2
        kill -KILL $pids 2>/dev/null
    fi
    XDG_RUNTIME_DIR="$LAN_TMP/home/runtime" gvfs_cleanup
    [ -z "$pids" ] || fail "left running after the $1 session"
    find "$LAN_TMP/home/runtime" -mindepth 1 -delete
}

# mapped_windows: a line per window mapped on the screen since the window watch began: the
# line of the watch's log and the window's X id (a window manager's frame stands for the
# window it holds).
mapped_windows() {
    awk '/^ReparentNotify/ { getline; gsub(",", ""); held[$6] = $4; next }
         /^MapNotify/ { line = NR; getline; gsub(",", ""); print line, ($4 in held) ? held[$4] : $4 }' "$out/login.xev"
}

# foreign_windows: the mapped windows that are not the probes'. X ids are used again once
# their client has gone, so a probe (a line of $out/probes: the watch's log length when it
# started, and its id) accounts for one window of its id mapped after its start.
# Windows mapped before the watch was shown to be live count for nothing: a watch that starts
# while a window manager frames the first probe sees the frame mapped but not whose it is.
foreign_windows() {
    mapped_windows | awk -v live="$(cat "$out/live")" 'NR == FNR { from[NR] = $1; id[NR] = $2; n = NR; next }
        $1 <= live { next }
        { k = 0
          for (p = 1; p <= n; p++) if (!used[p] && id[p] == $2 && from[p] < $1 && (!k || from[p] > from[k])) k = p
          if (k) used[k] = 1; else print $2 }' "$out/probes" -
}

# probe_window TRIES: windows of the test's own open on the screen, until the window watch
# has seen one (up to TRIES windows, 5 s each): then the watch is live, and has seen
# everything mapped before. The probes stay open (their PIDs in PROBES), so that no other
# window takes an id of theirs while the watch runs.
probe_window() {
    local probe id i try from
    for try in $(seq "$1"); do
        from=$(wc -l <"$out/login.xev")
        stdbuf -oL xev -geometry 40x40+10+10 >"$out/probe.out" 2>&1 &
        probe=$!
        PROBES+=("$probe") LAN_PIDS+=("$probe")
        id=
        for i in $(seq 50); do
            id=$(sed -n 's/^Outer window is \(0x[0-9a-f]*\),.*/\1/p' "$out/probe.out")
            [ -n "$id" ] && break
            sleep 0.1
        done
        [ -n "$id" ] || continue
        echo "$from $id" >>"$out/probes"
        for i in $(seq 50); do
            if mapped_windows | awk -v from="$from" -v id="$id" '$1 > from && $2 == id { seen = 1 } END { exit !seen }'; then
                [ -s "$out/live" ] || echo "$from" >"$out/live"
                return 0
            fi
            sleep 0.1
        done
    done
    fail "the window watch saw no window"
}

start=$(date +%s%N)
demo_lan_up
lan_log "demo LAN up after $((($(date +%s%N) - start) / 1000000)) ms"

bin="$LAN_TMP/bin"
mkdir -p "$bin"
recorder="$here/../../data/launch/record-argv"
cp "$recorder" "$bin/xdg-open" && cp "$recorder" "$bin/browser" || fail "cannot copy the recorder"
# No desktop default browser here: the program falls back to $BROWSER.
printf '#!/bin/sh\nexit 1\n' >"$bin/xdg-settings"
chmod 755 "$bin" "$bin/xdg-open" "$bin/browser" "$bin/xdg-settings"

names=$(IFS=:; echo "${DEMO_NAS_NAMES[*]}")
logs=
for host in "${DEMO_NAS_HOSTS[@]}"; do logs+="${logs:+:}$LAN_TMP/device$host.log"; done
office=${DEMO_NAS_HOSTS[0]}
for i in "${!DEMO_NAS_HOSTS[@]}"; do [ "${DEMO_NAS_LOCKED[$i]}" = 1 ] && locked=$i; done
DEMO_ENV=(PATH="$bin:$PATH" BROWSER="$bin/browser" QV_RECORD="$out/launched.rec" E2E_OUT="$out"
    E2E_QVLINK="$qvlink" E2E_BIN="$bin" E2E_NAS_NAMES="$names" E2E_DEVICE_LOGS="$logs"
    E2E_NAS_ADDR="$(lan_addr "$office")" E2E_NAS_DIR="$(demo_nas_dir "$office")" E2E_NAS_PAGE="$(demo_page_url "$office")"
    E2E_NAS_ICON=qvlink-device-247 E2E_OTHER_NAME="LAN media server" E2E_LOCKED_NAME="${DEMO_NAS_NAMES[$locked]}"
    E2E_LOCKED_ADDR="$(lan_addr "${DEMO_NAS_HOSTS[$locked]}")" E2E_LOCKED_DIR="$(demo_nas_dir "${DEMO_NAS_HOSTS[$locked]}")"
    E2E_LOCKED_USER="$DEMO_USER" E2E_LOCKED_PASSWORD="$DEMO_PASSWORD")
demo_session bash "$here/session.sh" day
rc=$?
for f in "$out"/qvlink-*.log; do
    [ -s "$f" ] && { echo "--- $f"; head -c 4000 "$f"; }
done
[ "$rc" -eq 0 ] || fail "the day failed ($rc); screenshots in $out"
lan_log "the day ended after $((($(date +%s%N) - start) / 1000000)) ms"

home="$LAN_TMP/home"
entry="$home/.config/autostart/qvlink-restore-mappings.desktop"
[ -f "$entry" ] || fail "Map Drive left no autostart entry"
mapfile -d '' argv < <(/usr/bin/python3 "$here/../../lan/desktop_exec.py" "$entry")
[ "${argv[*]}" = "$(realpath "$qvlink") --restore-mappings" ] || fail "the autostart entry runs: ${argv[*]}"
mapfile -t remembered <"$home/.config/qvlink/connections"
[ ${#remembered[@]} -gt 0 ] || fail "no letter remembered"
logout day

# The next login, on the same screen: a watch on the screen's top-level windows sees every
# window (or dialog, or popup) that is mapped while the session runs.
: >"$out/login.xev"
stdbuf -oL xev -root -event substructure >"$out/login.xev" 2>&1 &
watch=$!
LAN_PIDS+=("$watch")
# The watch may start late: probe windows come and go until it has seen one.
: >"$out/probes"
: >"$out/live"
PROBES=()
probe_window 5
demo_session bash "$here/session.sh" login >"$out/login.out" 2>&1
rc=$?
# Once the watch has seen a window mapped after the session, it has seen the session's too.
probe_window 1
kill "$watch" "${PROBES[@]}" && wait "$watch" "${PROBES[@]}" 2>/dev/null
cat "$out/login.out"
[ "$rc" -eq 0 ] || fail "the login session failed ($rc)"
logout login
foreign=$(foreign_windows)
[ -z "$foreign" ] || fail "a window appeared during the login: $(echo $foreign); $(cat "$out/login.out")"
sed 's/^/    /' "$out/restore.err"
[ "$(cat "$out/restore.rc")" = 0 ] || fail "the restore ended with status $(cat "$out/restore.rc")"
[ "$(wc -l <"$out/restore.err")" -eq ${#remembered[@]} ] || fail "not one line per letter on standard error"
for line in "${remembered[@]}"; do
    grep -qxF "$line mounted" "$out/restore.err" || fail "not reported mounted: $line"
    unc=${line#* \\\\} letter=${line%% *}
    address=${unc%%\\*} share=${unc#*\\}
    grep -qxF "$letter $address $share" "$out/restore.fuse" || fail "$line: no FUSE view after the login"
    served=
    for host in "${DEMO_NAS_HOSTS[@]}"; do
        [ "$(lan_addr "$host")" = "$address" ] && served="$(demo_nas_dir "$host")/$share"
    done
    [ "$(cat "$served/after-login.txt" 2>/dev/null)" = "after login ($letter)" ] ||
        fail "$line: the file written after the login did not reach $served"
done
echo "PASS: a user's day in English and German, and its ${#remembered[@]} drives back at the next login without a window; screenshots in $out"
