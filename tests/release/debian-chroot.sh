#!/usr/bin/env bash
# A fresh Debian machine as a directory, to try the README's commands on a release other than
# the one installed. A manual tool (it downloads), not part of the test suite. Needs root.
#
#   debian-chroot.sh create ROOT RELEASE   debootstrap RELEASE (bookworm, trixie) into ROOT and add
#                                          the user "dev" with sudo, as a new user would have
#   debian-chroot.sh clone ROOT [REF]      git clone this tree's REF (default: HEAD) into
#                                          /home/dev/qvlink, owned by dev (or move it there)
#   debian-chroot.sh root ROOT CMD...      run CMD as root in ROOT
#   debian-chroot.sh user ROOT CMD...      run CMD as dev in ROOT, in /home/dev/qvlink when it exists
#   debian-chroot.sh names ROOT            the package names ROOT's release offers, as the kept
#                                          lists of tests/release/ hold them
#
# Example: debian-chroot.sh create /work/trixie-root trixie
#          debian-chroot.sh clone /work/trixie-root
#          debian-chroot.sh user /work/trixie-root bash -c 'time ./scripts/run.sh --version'
#          debian-chroot.sh user /work/trixie-root bash -c 'time sudo ./scripts/test.sh'
#
# The root is bind-mounted onto itself, so that `ip netns exec` inside can make its mounts private
# and remount /sys; /proc, /sys and /dev come from the host, /run and /tmp are fresh. Everything
# mounted is unmounted on exit. The chroot shares the host's kernel and network: the tests' LANs
# are network namespaces there as on the host.
set -euo pipefail
mirror=${QVD_DEBIAN_MIRROR:-http://deb.debian.org/debian}
here=$(cd "$(dirname "$0")" && pwd)

usage() { sed -n '2,13p' "$0" >&2; exit 2; }
[ $# -ge 2 ] || usage
action=$1
root=$(realpath -m "$2")
shift 2
[ "$(id -u)" -eq 0 ] || { echo "debian-chroot.sh needs root" >&2; exit 1; }

mounted=()
unmountAll() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -R "${mounted[$i]}" 2>/dev/null || umount -lR "${mounted[$i]}" 2>/dev/null || true
    done
    mounted=()
}
trap unmountAll EXIT
trap 'exit 130' INT TERM

mountInto() {
    # A mount point already in use (another session in the same root) is used as it is.
    if mountpoint -q "$root"; then
        echo "$root is in use (mounted already); leave the other session first" >&2
        exit 1
    fi
    mount --bind "$root" "$root"
    mount --make-private "$root"
    mounted+=("$root")
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --make-rslave "$root/sys"
    mount --rbind /dev "$root/dev"
    mount --make-rslave "$root/dev"
    mount -t tmpfs -o mode=0755,nosuid,nodev tmpfs "$root/run"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/tmp"
    mkdir -p "$root/run/lock" "$root/run/user"
    chmod 1777 "$root/run/lock"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
}

inRoot() {
    chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

case "$action" in
create)
    release=${1:?release name, e.g. trixie}
    if [ ! -x "$root/usr/bin/apt-get" ]; then
        command -v debootstrap >/dev/null || apt-get install -y -q debootstrap
        debootstrap --variant=minbase --include=sudo,git,ca-certificates "$release" "$root" "$mirror"
    fi
    mountInto
    inRoot bash -c 'id dev >/dev/null 2>&1 || useradd -m -s /bin/bash -G sudo dev
        echo "dev ALL=(ALL) NOPASSWD: ALL" >/etc/sudoers.d/dev && chmod 0440 /etc/sudoers.d/dev
        [ -f /etc/hosts ] || printf "127.0.0.1 localhost\n::1 localhost\n" >/etc/hosts
        grep -qw "$(hostname)" /etc/hosts || echo "127.0.1.1 $(hostname)" >>/etc/hosts'
    ;;
clone)
    ref=${1:-HEAD}
    src=$(git -C "$here" rev-parse --show-toplevel)
    # A clone that is there already moves to REF and keeps its build trees.
    [ -d "$root/home/dev/qvlink/.git" ] || git clone -q --no-hardlinks "$src" "$root/home/dev/qvlink"
    git -c safe.directory="$root/home/dev/qvlink" -C "$root/home/dev/qvlink" fetch -q "$src" "$(git -C "$src" rev-parse "$ref")"
    git -c safe.directory="$root/home/dev/qvlink" -C "$root/home/dev/qvlink" checkout -q --detach FETCH_HEAD
    chroot "$root" chown -R dev:dev /home/dev/qvlink
    ;;
root)
    [ $# -ge 1 ] || usage
    mountInto
    inRoot "$@"
    ;;
user)
    [ $# -ge 1 ] || usage
    mountInto
    dir=/home/dev
    [ -d "$root/home/dev/qvlink" ] && dir=/home/dev/qvlink
    # A login's runtime folder, as a desktop session would have it.
    uid=$(chroot "$root" id -u dev)
    install -d -m 0700 -o "$uid" -g "$uid" "$root/run/user/$uid"
    inRoot XDG_RUNTIME_DIR="/run/user/$uid" setpriv --reuid="$uid" --regid="$uid" --init-groups \
        env HOME=/home/dev USER=dev LOGNAME=dev bash -c 'cd "$1" && shift && exec "$@"' bash "$dir" "$@"
    ;;
names)
    mountInto
    inRoot bash -c 'apt-cache pkgnames 2>/dev/null | head -1 | grep -q . || apt-get update -q >/dev/null
        apt-cache pkgnames' | LC_ALL=C sort -u
    ;;
*) usage ;;
esac
