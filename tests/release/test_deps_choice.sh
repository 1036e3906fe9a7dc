#!/usr/bin/env bash
# The install script's package choice against the kept lists of names that Debian 12 and 13
# offer: for every purpose every chosen name is one the release has, the LLVM names follow the
# release, and a name the release lacks is an error that says which. No network, no installing.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deps="$here/../../scripts/deps.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# choose LIST INSTALLED PURPOSE: the names deps.sh picks, into $work/out (stderr in $work/err).
choose() {
    QVD_DEPS_OFFERED=$1 QVD_DEPS_INSTALLED=$2 bash "$deps" --names "$3" >"$work/out" 2>"$work/err"
}
# The newest N whose clang-N, libclang-rt-N-dev and clang-format-N are all in LIST.
newestComplete() {
    grep -oE '^clang-[0-9]+$' "$1" | cut -d- -f2 | sort -n | while read -r n; do
        grep -qx "libclang-rt-$n-dev" "$1" && grep -qx "clang-format-$n" "$1" && echo "$n"
    done | tail -n 1
}
llvmOf() { sed -n 's/^clang-\([0-9]*\)$/\1/p' "$work/out"; }

for release in bookworm trixie; do
    list="$here/names-$release.txt"
    [ -s "$list" ] || { fail "no kept list $list"; continue; }
    for purpose in run test demo resgen; do
        if ! choose "$list" /dev/null "$purpose"; then
            fail "$release $purpose: deps.sh chose no installable list: $(cat "$work/err")"
            continue
        fi
        [ -s "$work/out" ] || fail "$release $purpose: nothing chosen"
        while read -r name; do
            grep -qxF "$name" "$list" || fail "$release $purpose: '$name' is not a package of $release"
        done <"$work/out"
    done
done

# Debian 12: the version the format check and the fuzzing are pinned to, though newer ones exist.
if choose "$here/names-bookworm.txt" /dev/null test; then
    for name in clang-14 libclang-rt-14-dev clang-format-14; do
        grep -qx "$name" "$work/out" || fail "bookworm: $name not chosen: $(tr '\n' ' ' <"$work/out")"
    done
    [ "$(grep -c 'clang' "$work/out")" -eq 3 ] || fail "bookworm: more than one LLVM version chosen"
fi
# Debian 13 has no 14: the newest version with all three names.
if choose "$here/names-trixie.txt" /dev/null test; then
    want=$(newestComplete "$here/names-trixie.txt")
    [ -n "$want" ] && [ "$want" != 14 ] || fail "trixie: kept list holds no LLVM version but 14"
    [ "$(llvmOf)" = "$want" ] || fail "trixie: chose LLVM '$(llvmOf)', want $want"
    for name in "libclang-rt-$want-dev" "clang-format-$want"; do
        grep -qx "$name" "$work/out" || fail "trixie: $name not chosen"
    done
fi

# A version whose runtimes the release lacks is passed over for an older complete one.
newest=$(newestComplete "$here/names-trixie.txt")
grep -vx "libclang-rt-$newest-dev" "$here/names-trixie.txt" >"$work/partial.txt"
if choose "$work/partial.txt" /dev/null test; then
    want=$(newestComplete "$work/partial.txt")
    [ "$(llvmOf)" = "$want" ] && [ "$want" != "$newest" ] || fail "incomplete LLVM $newest: chose '$(llvmOf)', want $want"
else
    fail "incomplete newest LLVM: $(cat "$work/err")"
fi

# What is installed already is kept: no second compiler for a machine that has one.
older=$(grep -oE '^clang-[0-9]+$' "$here/names-trixie.txt" | cut -d- -f2 | sort -n | head -n 1)
printf '%s\n' "clang-$older" "libclang-rt-$older-dev" "clang-format-$older" cmake >"$work/installed.txt"
if choose "$here/names-trixie.txt" "$work/installed.txt" test; then
    [ "$(llvmOf)" = "$older" ] || fail "installed LLVM $older not kept: chose '$(llvmOf)'"
else
    fail "installed LLVM: $(cat "$work/err")"
fi
got=$(QVD_DEPS_INSTALLED="$work/installed.txt" bash "$deps" --llvm 2>&1)
[ "$got" = "$older" ] || fail "--llvm printed '$got', want $older"

# A name the release does not have fails before anything is installed, naming it.
grep -vx 'gir1.2-gssdp-1.6' "$here/names-trixie.txt" >"$work/lacking.txt"
if choose "$work/lacking.txt" /dev/null test; then
    fail "a list without gir1.2-gssdp-1.6 was accepted"
else
    grep -q 'gir1.2-gssdp-1.6' "$work/err" || fail "the error does not name the package: $(cat "$work/err")"
fi
# No LLVM at all: an error, not a name with a hole in it.
grep -vE '^(clang|clang-format)-[0-9]+$|^libclang-rt-' "$here/names-trixie.txt" >"$work/nollvm.txt"
if choose "$work/nollvm.txt" /dev/null test; then
    fail "a list without LLVM was accepted: $(grep clang "$work/out" | tr '\n' ' ')"
elif ! grep -q 'clang' "$work/err"; then
    fail "the no-LLVM error does not say what is missing: $(cat "$work/err")"
fi
# The program alone needs no LLVM.
choose "$work/nollvm.txt" /dev/null run || fail "run needs LLVM: $(cat "$work/err")"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "package choice: all checks passed"
