#!/usr/bin/env bash
# Configures and builds one build tree quietly.  build.sh DIR [cmake options...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
launcher=()
if command -v ccache >/dev/null; then
    # Relative paths let checkouts in other folders share the cache.
    export CCACHE_BASEDIR="$root"
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${QVD_BUILD_TYPE:-RelWithDebInfo}" "${launcher[@]}" "$@" >/dev/null || exit 1
cmake --build "$dir" -- -j"$(nproc)" 2>&1 | grep -v -E '^\[[0-9]+/[0-9]+\] |^ninja: no work to do'
exit "${PIPESTATUS[0]}"
