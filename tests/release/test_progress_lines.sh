#!/usr/bin/env bash
# build.sh passes the build tool's progress on while the build runs, not in one burst at its
# end: a stand-in cmake prints its first step and then waits (at most 10 s) until the reader
# of build.sh's output has seen the "Building" line before it goes on.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
cat >"$work/bin/cmake" <<'FAKE'
#!/usr/bin/env bash
[ "${1:-}" = --build ] || exit 0
echo "[1/3] Building CXX object one.o"
for _ in $(seq 100); do
    [ -e "$QVD_TEST_SEEN" ] && break
    sleep 0.1
done
[ -e "$QVD_TEST_SEEN" ] || touch "$QVD_TEST_LATE"
echo "[2/3] Building CXX object two.o"
echo "[3/3] Linking CXX executable three"
FAKE
chmod +x "$work/bin/cmake"
# No compiler cache: the stand-in is the whole build.
export PATH="$work/bin:$(printf '%s' "$PATH" | tr ':' '\n' | grep -v ccache | paste -sd:)"
export QVD_TEST_SEEN="$work/seen" QVD_TEST_LATE="$work/late"
mkdir -p "$work/tree"
bash "$here/../../scripts/build.sh" "$work/tree" </dev/null 2>&1 | while IFS= read -r line; do
    echo "$line"
    [[ $line == Building* ]] && touch "$QVD_TEST_SEEN"
done
[ -e "$work/seen" ] || { echo "FAIL: build.sh printed no Building line"; exit 1; }
[ ! -e "$work/late" ] || { echo "FAIL: the first progress line came only after the build went on without it"; exit 1; }
echo "progress lines pass on as they come"
