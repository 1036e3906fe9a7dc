#!/usr/bin/env bash
# Installs the Debian packages that a purpose needs, and only those that are missing. Says what
# it does; prints nothing when everything is there.
#   deps.sh run    build and run the program
#   deps.sh test   build and run every test, the fuzz targets and the benchmarks
#   deps.sh demo   build the program and run scripts/demo.sh
#   deps.sh resgen the fonts of the picture generator (tools/resgen) only; the program and its
#                  tests never need them
#   deps.sh --names PURPOSE  prints the names chosen for this release, one a line; installs nothing
#   deps.sh --llvm           prints the LLVM version whose clang, sanitizer runtimes and
#                            clang-format are installed (the one that `test` installs)
# Debian releases name some packages differently; the names are taken from what the running
# release offers. A name holding @llvm@ stands for one LLVM version: the one installed already,
# else 14 where the release offers it (the format check's output is that version's), else the
# newest version the release offers all such names of. For the test of that choice,
# QVD_DEPS_OFFERED and QVD_DEPS_INSTALLED name files of package names that stand in for the
# package lists and the installed packages.
set -euo pipefail

# fonts-dejavu-core: a face for the scripts Liberation lacks (Arabic, Hebrew, Armenian...): a fresh
# Debian 12 has none, and the texts of those languages would be boxes.
build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev fonts-liberation2 xdg-utils xdg-user-dirs
       libsmbclient-dev libglib2.0-dev libsecret-1-dev gvfs gvfs-backends gvfs-fuse dbus fonts-dejavu-core)
tests=(libgtest-dev libgmock-dev iproute2 util-linux minidlna xvfb xauth x11-utils xdotool imagemagick dbus at-spi2-core gir1.2-atspi-2.0
       openbox libxml2-dev clang-@llvm@ libclang-rt-@llvm@-dev clang-format-@llvm@ python3 procps python3-gi gir1.2-gssdp-1.6
       samba smbclient python3-impacket nftables dbus-daemon fuse3 gnome-keyring libsecret-tools
       dpkg-dev file lintian desktop-file-utils appstream apt strace man-db gzip
       qt6-wayland sway grim)
resgen=(fonts-liberation2 fonts-noto-core fonts-noto-cjk)

llvm_pinned=14
mode=install
case "${1:-}" in
    --names) mode=names; shift ;;
    --llvm) mode=llvm; set -- test ;;
    --candidates)
        # Every name this script may choose from, @llvm@ unresolved (for tests/release/).
        printf '%s\n' "${build[@]}" "${tests[@]}" "${resgen[@]}" | awk '!seen[$0]++'
        exit 0 ;;
esac
case "${1:-run}" in
    run) wanted=("${build[@]}") ;;
    test) wanted=("${build[@]}" "${tests[@]}") ;;
    demo) wanted=("${build[@]}" iproute2 util-linux minidlna samba python3 dbus-daemon fuse3) ;;
    resgen) wanted=("${resgen[@]}") ;;
    *) echo "usage: $0 [--names] run|test|demo|resgen | --llvm" >&2; exit 2 ;;
esac

# The names of packages in a state: "installed" from dpkg (or QVD_DEPS_INSTALLED), "offered"
# from the package lists (or QVD_DEPS_OFFERED). Patterns are shell globs.
installedNames() {
    if [ -n "${QVD_DEPS_INSTALLED+set}" ]; then
        local pattern name
        for pattern in "$@"; do
            while read -r name; do
                # shellcheck disable=SC2053
                [[ $name == $pattern ]] && echo "$name"
            done <"$QVD_DEPS_INSTALLED"
        done
        return 0
    fi
    dpkg-query -W -f='${Package} ${db:Status-Status}\n' "$@" 2>/dev/null | awk '$2 == "installed" { print $1 }' || true
}
offeredNames() {
    if [ -n "${QVD_DEPS_OFFERED:-}" ]; then cat "$QVD_DEPS_OFFERED"; else apt-cache pkgnames 2>/dev/null || true; fi
}

# The versions N for which every @llvm@ name of the wanted list is among the names on stdin.
llvmVersions() {
    local names patterns=() p
    names=$(cat)
    for p in "${wanted[@]}"; do [[ $p == *@llvm@* ]] && patterns+=("$p"); done
    grep -oE '^clang-[0-9]+$' <<<"$names" | cut -d- -f2 | sort -n | while read -r n; do
        for p in "${patterns[@]}"; do grep -qxF "${p//@llvm@/$n}" <<<"$names" || continue 2; done
        echo "$n"
    done
}
preferred() {
    local versions
    versions=$(cat)
    [ -n "$versions" ] || return 1
    if grep -qx "$llvm_pinned" <<<"$versions"; then echo "$llvm_pinned"; else tail -n 1 <<<"$versions"; fi
}

llvm=
updated=0
if [[ " ${wanted[*]} " == *@llvm@* ]]; then
    llvm=$(installedNames 'clang-[0-9]*' 'libclang-rt-[0-9]*-dev' 'clang-format-[0-9]*' | llvmVersions | preferred || true)
    if [ "$mode" = llvm ]; then
        [ -n "$llvm" ] || { echo "no LLVM version is installed: run $0 test" >&2; exit 1; }
        echo "$llvm"; exit 0
    fi
    if [ -z "$llvm" ]; then
        offered=$(offeredNames)
        if [ -z "${QVD_DEPS_OFFERED:-}" ] && ! llvm=$(llvmVersions <<<"$offered" | preferred); then
            # A machine whose package lists were never fetched (or are old) knows no version yet.
            echo "Updating the package lists..."
            sudo=(); [ "$(id -u)" -ne 0 ] && sudo=(sudo)
            "${sudo[@]}" apt-get update -q >/dev/null || exit 1
            updated=1
            offered=$(offeredNames)
        fi
        llvm=$(llvmVersions <<<"$offered" | preferred) || {
            echo "this release offers no version N of all of clang-N, libclang-rt-N-dev, clang-format-N" >&2
            exit 1
        }
    fi
    wanted=("${wanted[@]//@llvm@/$llvm}")
fi
if [ "$mode" = names ]; then
    absent=$(printf '%s\n' "${wanted[@]}" | grep -vxF -f <(offeredNames) || true)
    [ -z "$absent" ] || { echo "this release offers no package named:" $absent >&2; exit 1; }
    printf '%s\n' "${wanted[@]}" | awk '!seen[$0]++'
    exit 0
fi

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
if [ "$updated" -eq 0 ]; then
    echo "Updating the package lists..."
    "${sudo[@]}" apt-get update -q >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
fi
# apt-get's own lines go to the log; one line per package as dpkg sets it up (on a terminal
# one line that is rewritten), and the whole log when something fails.
echo "Downloading and installing (this takes a few minutes)..."
tty=0
[ -t 1 ] && tty=1
# mawk (Debian's awk) reads a pipe in blocks unless it is told to read lines.
awk=(awk)
case "$(awk -W version 2>&1)" in *mawk*) awk=(awk -W interactive) ;; esac
set +e
"${sudo[@]}" apt-get install -y -q --no-install-recommends -o Dpkg::Use-Pty=0 "${missing[@]}" 2>&1 | tee "$log" |
    "${awk[@]}" -v tty=$tty '
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
