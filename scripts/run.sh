#!/usr/bin/env bash
# Installs what is missing, builds, and starts QV Link.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" run
"$root/scripts/build.sh" "$root/build" -DQVD_BUILD_TESTS=OFF -DQVD_BUILD_BENCH=OFF
if [ -x "$root/build/app/qvlink" ]; then
    exec "$root/build/app/qvlink"
fi
exec "$root/build/tools/scan/qvlink-scan" "$@"
