#!/usr/bin/env bash
# Writes the kept list of package names of one Debian release for the package-choice test:
# the names that release offers, filtered to those scripts/deps.sh may choose from (any LLVM
# version for the @llvm@ names) and those of likely-names.txt. Needs root and a root made by
# debian-chroot.sh (it reads that root's package lists; it updates them when there are none).
#   keep-names.sh ROOT RELEASE      writes names-RELEASE.txt beside this script
# ROOT may also be a file of all the names (debian-chroot.sh names ROOT >FILE).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=${1:?root made by debian-chroot.sh}
release=${2:?release name, e.g. trixie}
patterns=$(mktemp)
trap 'rm -f "$patterns"' EXIT
{
    "$here/../../scripts/deps.sh" --candidates
    grep -v '^#' "$here/likely-names.txt"
} | awk 'NF' | sed -e 's/[.+]/\\&/g' -e 's/@llvm@/[0-9]+/g' -e 's/^/^/' -e 's/$/$/' >"$patterns"
{
    echo "# Package names that Debian $release offers (apt-cache pkgnames, $(date -u +%Y-%m-%d)), only"
    echo "# those scripts/deps.sh may choose; made by tests/release/keep-names.sh."
    if [ -f "$root" ]; then cat "$root"; else "$here/debian-chroot.sh" names "$root"; fi | grep -E -f "$patterns"
} >"$here/names-$release.txt"
echo "$(grep -vc '^#' "$here/names-$release.txt") names in $here/names-$release.txt"
