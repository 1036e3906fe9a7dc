#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (unit, loopback network,
# test-LAN, widget and package tests). Network tests need root: they create network namespaces.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" test
"$root/scripts/build.sh" "$root/build-test" -DQVD_WERROR=ON ${QVD_CMAKE_ARGS:-}
cd "$root/build-test"
echo "Running the tests..."
# Parts of the suite run as the user nobody: tree-view.sh lets nobody reach this tree.
"$root/scripts/tree-view.sh" "$root" ctest --output-on-failure -j"$(( $(nproc) * 2 ))" --timeout 300 ${QVD_CTEST_ARGS:-}
