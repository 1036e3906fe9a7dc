#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (unit, loopback network,
# test-LAN, widget and package tests). Network tests need root: they create network namespaces.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" test
"$root/scripts/build.sh" "$root/build-test" -DQVD_WERROR=ON ${QVD_CMAKE_ARGS:-}
cd "$root/build-test"
# Parts of the suite run the program and test scripts as the user nobody, as a desktop user
# would run them, from this tree. A folder on the way that others may not enter (Debian 13
# makes home folders 0700) would keep nobody out: the suite then runs in a mount namespace of
# its own in which that folder is an empty stand-in that holds only this tree. Nothing
# changes outside it.
in_view=()
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    blocked= path=
    IFS=/ read -ra parts <<<"${root#/}"
    for part in "${parts[@]}"; do
        path="$path/$part"
        if ! setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups test -x "$path"; then
            blocked=$path
            break
        fi
    done
    if [ -n "$blocked" ] && [ "$blocked" != "$root" ]; then
        echo "The user nobody may not enter $blocked: the tests see it holding only this tree."
        in_view=(unshare --mount --propagation private bash -c '
            root=$1 blocked=$2; shift 2
            hold=$(mktemp -d)
            mount --bind "$root" "$hold" && mount -t tmpfs -o mode=0755 qvlink-tree "$blocked" &&
                mkdir -p "$root" && mount --move "$hold" "$root" || exit 1
            rmdir "$hold"
            cd "$root/build-test" && exec "$@"' bash "$root" "$blocked")
    elif [ -n "$blocked" ]; then
        echo "The user nobody may not enter $root: the tests that run as nobody will fail." >&2
    fi
fi
echo "Running the tests..."
"${in_view[@]}" ctest --output-on-failure -j"$(( $(nproc) * 2 ))" --timeout 300 ${QVD_CTEST_ARGS:-}
