#!/usr/bin/env bash
# tree-view.sh lets the user nobody reach a tree inside a home folder that others may not
# enter (0700, as Debian 13 makes them), shows nothing else of that folder, and leaves it as
# it was. Needs root (mount namespaces).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
view="$here/../../scripts/tree-view.sh"
[ "$(id -u)" -eq 0 ] || { echo "needs root"; exit 77; }
id nobody >/dev/null 2>&1 || { echo "no user nobody"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
asNobody() { setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups "$@"; }

home="$work/home/user" tree="$work/home/user/src/qvlink"
mkdir -p "$tree/build"
echo built >"$tree/build/file"
echo private >"$home/secret"
chmod 755 "$work/home" "$home/src" "$tree" "$tree/build"
chmod 700 "$home"
asNobody cat "$tree/build/file" >/dev/null 2>&1 && fail "nobody reads the tree without the view: the test shows nothing"

got=$(cd "$tree/build" && "$view" "$tree" bash -c '
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups cat "$1/build/file"
    echo "cwd $PWD"
    [ -e "$2/secret" ] && echo "secret seen"
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups touch "$1/build/not-theirs" 2>/dev/null && echo "nobody wrote"
    true' bash "$tree" "$home" 2>&1)
grep -qx built <<<"$got" || fail "nobody cannot read the tree through the view: $got"
grep -qx "cwd $tree/build" <<<"$got" || fail "the command does not start where it was called: $got"
grep -q 'secret seen' <<<"$got" && fail "the view shows the rest of the home folder"
grep -q 'nobody wrote' <<<"$got" && fail "the view lets nobody write where the tree's owner did not allow it"
grep -q "may not enter $home" <<<"$got" || fail "the view does not say what it does: $got"

[ "$(stat -c %a "$home")" = 700 ] || fail "the home folder's mode changed: $(stat -c %a "$home")"
[ -f "$home/secret" ] || fail "the home folder lost a file"
findmnt -rn -o TARGET | grep -q "^$work" && fail "mounts left behind: $(findmnt -rn -o TARGET | grep "^$work")"

# A tree that nobody reaches already: the command runs as it is, with nothing said.
chmod 755 "$home"
got=$("$view" "$tree" cat "$tree/build/file" 2>&1)
[ "$got" = built ] || fail "a reachable tree: '$got'"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "tree view: all checks passed"
