#!/usr/bin/env bash
# Configure, Browse and Create Desktop Shortcut in the test LAN: the real window and its real
# launch services, with the recorder standing in for the browser (through the default
# browser's desktop entry) and for xdg-open, and a desktop folder under a temporary HOME.
# Arguments: qvlink-scan, the scriptable device, the TestLaunchLan program.
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$1" "$2"
program=$3
lan_require python3 xdg-user-dir
lan_init
lan_create 4

lan_device 1 devA --friendly-name "QV Launch A" --model-number "QV-KTA104-EU" \
    --presentation-url "http://{addr}:{port}/setup"
pid_a=${LAN_PIDS[-1]}
lan_device 2 devB --friendly-name "QV Launch B" --model-number "QV-0" \
    --presentation-url '/cgi/index.html?x=$(id)'
# Shell words in every text: they must reach the recorder and the file as plain text.
lan_device 3 devC --friendly-name '-rf $(touch pwned) `touch pwned`;| "q"' --model-number "KTC31 KTA111" \
    --presentation-url "http://{addr}:{port}/p?\"x\"';\$(touch pwned)|\`id\`"

recorder=$(realpath "$LAN_DIR/../data/launch/record-argv")
home="$LAN_TMP/home"
bin="$LAN_TMP/bin"
mkdir -p "$home/Desktop" "$home/.config" "$home/.local/share/applications" "$bin"
printf 'XDG_DESKTOP_DIR="$HOME/Desktop"\n' >"$home/.config/user-dirs.dirs"
printf '[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s --profile "x y" %%u\n' "$recorder" \
    >"$home/.local/share/applications/qvtest-browser.desktop"
printf '#!/bin/sh\n[ "$*" = "get default-web-browser" ] && echo qvtest-browser.desktop\n' >"$bin/xdg-settings"
cp "$recorder" "$bin/xdg-open"
chmod +x "$bin/xdg-settings" "$bin/xdg-open"

# QV_SHOT_DIR: where the warning box and the shortcut file go; with QV_SHOT_DISPLAY the window
# runs on that X display (one with a window manager, for the box's frame) instead of offscreen.
shots=${QV_SHOT_DIR:-}
platform=offscreen
[ -n "${QV_SHOT_DISPLAY:-}" ] && platform=xcb
ip netns exec "$(lan_ns 0)" env -u BROWSER -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY ${QV_SHOT_DISPLAY:+DISPLAY=$QV_SHOT_DISPLAY} \
    HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_DATA_DIRS="$LAN_TMP/none" PATH="$bin:$PATH" QT_QPA_PLATFORM=$platform LANG=C.UTF-8 LC_ALL= LANGUAGE= \
    QV_RECORD="$LAN_TMP/record" QV_BIN="$bin" QV_ADDR_A="$(lan_addr 1)" QV_ADDR_B="$(lan_addr 2)" QV_ADDR_C="$(lan_addr 3)" QV_HP_C="$(lan_hp 3 devC)" \
    QV_HP_A="$(lan_hp 1 devA)" QV_HP_B="$(lan_hp 2 devB)" QV_PID_A="$pid_a" QV_NS_B="$(lan_ns 2)" QV_IF_B="$(lan_if 2)" QV_SHOT_DIR="$shots" \
    "$program" >"$LAN_TMP/program.out" 2>&1
rc=$?
[ -z "$(find "$LAN_TMP" "$home" "$PWD" / -maxdepth 1 -name pwned 2>/dev/null)" ] || fail "a device text ran a command"
grep -v 'does not support' "$LAN_TMP/program.out" >&2
[ "$rc" -eq 0 ] || fail "TestLaunchLan failed ($rc)"
if [ -n "$shots" ]; then
    cp "$home/Desktop/"*.desktop "$shots/" 2>/dev/null
fi
echo "PASS: Configure, Browse and the desktop shortcut in the LAN"
