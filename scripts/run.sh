#!/usr/bin/env bash
# Installs what is missing, builds, and starts QV Link. Quiet when there is nothing to do.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# An older demo run through sudo left build/ to root; say how to take it back instead of failing
# in the middle of the build.
if [ -d "$root/build" ] && [ "$(id -u)" != 0 ] && [ -n "$(find "$root/build" ! -user "$(id -u)" -print -quit)" ]; then
    echo "run: build/ holds files of another user (an older sudo demo?): sudo chown -R $(id -un): $root/build" >&2
    exit 1
fi
before=$(stat -c %Y /var/lib/dpkg/status "$root/build/app/qvlink" 2>/dev/null || true)
"$root/scripts/deps.sh" run
"$root/scripts/build.sh" "$root/build" -DQVD_BUILD_TESTS=OFF -DQVD_BUILD_BENCH=OFF
if [ -x "$root/build/app/qvlink" ]; then
    if [ "$(stat -c %Y /var/lib/dpkg/status "$root/build/app/qvlink" 2>/dev/null || true)" != "$before" ]; then
        echo "Starting QV Link"
    fi
    exec "$root/build/app/qvlink" "$@"
fi
exec "$root/build/tools/scan/qvlink-scan" "$@"
