#!/usr/bin/env bash
# Installs the Debian packages that a purpose needs, quietly, and only those that are missing.
#   deps.sh run    build and run the program
#   deps.sh test   build and run every test, the fuzz targets and the benchmarks
#   deps.sh resgen the fonts of the picture generator (tools/resgen) only; the program and its
#                  tests never need them
set -euo pipefail

build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev fonts-liberation2 xdg-utils xdg-user-dirs
       libsmbclient-dev libglib2.0-dev gvfs gvfs-backends gvfs-fuse dbus)
tests=(libgtest-dev libgmock-dev iproute2 util-linux minidlna xvfb xauth x11-utils xdotool imagemagick dbus at-spi2-core gir1.2-atspi-2.0
       openbox libxml2-dev clang-14 libclang-rt-14-dev clang-format-14 python3 procps python3-gi gir1.2-gssdp-1.6
       samba smbclient dbus-daemon fuse3)
resgen=(fonts-liberation2 fonts-noto-core fonts-noto-cjk)

case "${1:-run}" in
    run) wanted=("${build[@]}") ;;
    test) wanted=("${build[@]}" "${tests[@]}") ;;
    resgen) wanted=("${resgen[@]}") ;;
    *) echo "usage: $0 run|test|resgen" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
