#!/usr/bin/env bash
# Runs a command (as root) where the user nobody can reach a tree:  tree-view.sh ROOT COMMAND...
# Parts of the test suite run the program and test scripts as nobody, as a desktop user would
# run them, from the tree. A folder on the way that others may not enter (Debian 13 makes home
# folders 0700) would keep nobody out: the command then runs in a mount namespace of its own
# in which that folder is an empty stand-in that holds only the tree. Nothing changes outside
# it; where nobody can reach the tree already, the command runs as it is.
set -euo pipefail
root=$(realpath "$1")
shift
if [ "$(id -u)" -ne 0 ] || ! id nobody >/dev/null 2>&1; then exec "$@"; fi
blocked= path=
IFS=/ read -ra parts <<<"${root#/}"
for part in "${parts[@]}"; do
    path="$path/$part"
    if ! setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups test -x "$path"; then
        blocked=$path
        break
    fi
done
[ -n "$blocked" ] || exec "$@"
if [ "$blocked" = "$root" ]; then
    echo "The user nobody may not enter $root: the tests that run as nobody will fail." >&2
    exec "$@"
fi
echo "The user nobody may not enter $blocked: the tests see it holding only $root."
exec unshare --mount --propagation private bash -c '
    root=$1 blocked=$2 dir=$3; shift 3
    hold=$(mktemp -d)
    mount --bind "$root" "$hold" && mount -t tmpfs -o mode=0755 qvlink-tree "$blocked" &&
        mkdir -p "$root" && mount --move "$hold" "$root" || exit 1
    rmdir "$hold"
    cd "$dir" 2>/dev/null || cd "$root"
    exec "$@"' bash "$root" "$blocked" "$PWD" "$@"
