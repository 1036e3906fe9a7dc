#!/usr/bin/env bash
# Installs the Debian packages that a purpose needs, and only those that are missing. Says what
# it does; prints nothing when everything is there.
#   deps.sh run    build and run the program
#   deps.sh test   build and run every test, the fuzz targets and the benchmarks
#   deps.sh demo   build the program and run scripts/demo.sh
#   deps.sh resgen the fonts of the picture generator (tools/resgen) only; the program and its
#                  tests never need them
set -euo pipefail

build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev fonts-liberation2 xdg-utils xdg-user-dirs
       libsmbclient-dev libglib2.0-dev libsecret-1-dev gvfs gvfs-backends gvfs-fuse dbus)
tests=(libgtest-dev libgmock-dev iproute2 util-linux minidlna xvfb xauth x11-utils xdotool imagemagick dbus at-spi2-core gir1.2-atspi-2.0
       openbox libxml2-dev clang-14 libclang-rt-14-dev clang-format-14 python3 procps python3-gi gir1.2-gssdp-1.6
       samba smbclient python3-impacket nftables dbus-daemon fuse3 gnome-keyring libsecret-tools
       dpkg-dev file lintian desktop-file-utils appstream apt strace man-db gzip
       qt6-wayland sway grim)
resgen=(fonts-liberation2 fonts-noto-core fonts-noto-cjk)

case "${1:-run}" in
    run) wanted=("${build[@]}") ;;
    test) wanted=("${build[@]}" "${tests[@]}") ;;
    demo) wanted=("${build[@]}" iproute2 util-linux minidlna samba python3 dbus-daemon fuse3) ;;
    resgen) wanted=("${resgen[@]}") ;;
    *) echo "usage: $0 run|test|demo|resgen" >&2; exit 2 ;;
esac

# One query for all of them: a query per package costs seconds on every start.
declare -A installed=()
while read -r name state; do
    [ "$state" = installed ] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${wanted[@]}" 2>/dev/null || true)
missing=()
for pkg in "${wanted[@]}"; do
    if [ -z "${installed[$pkg]:-}" ] && [[ " ${missing[*]} " != *" $pkg "* ]]; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "Installing ${#missing[@]} packages: ${missing[*]}"
echo "Updating the package lists..."
"${sudo[@]}" apt-get update -q >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
# apt-get's own lines go to the log; one line per package as dpkg sets it up (on a terminal
# one line that is rewritten), and the whole log when something fails.
echo "Downloading and installing (this takes a few minutes)..."
tty=0
[ -t 1 ] && tty=1
set +e
"${sudo[@]}" apt-get install -y -q --no-install-recommends -o Dpkg::Use-Pty=0 "${missing[@]}" 2>&1 | tee "$log" |
    awk -v tty=$tty '
        /^Get:[0-9]+ / { got++; if (tty) { printf "\r  downloaded %d packages\033[K", got; fflush() } next }
        /^Setting up / { set++; name = $3
            if (tty) printf "\r  set up %d: %s\033[K", set, name; else if (set % 20 == 0) printf "  set up %d packages\n", set
            fflush() }
        END { if (tty) printf "\r\033[K"; if (set) printf "  set up %d packages\n", set }'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
    cat "$log" >&2
    echo "apt-get install failed (exit $status)" >&2
    exit "$status"
fi
