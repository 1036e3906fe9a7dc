#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (the version deps.sh installs) and runs each for the given seconds on a copy of
# its committed corpus. Any crash, leak or sanitizer report fails. Optimised code (-O2) with the
# sanitizers: at -O0 the instrumented standard-library copies cost more than the code under test.
# Prints each target's executions per minute of wall time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
"$root/scripts/deps.sh" test
llvm=$("$root/scripts/deps.sh" --llvm)
CC=clang-$llvm CXX=clang++-$llvm QVD_BUILD_TYPE=RelWithDebInfo "$root/scripts/build.sh" "$root/build-fuzz" \
    -DQVD_FUZZ=ON -DQVD_ASAN=ON -DQVD_BUILD_TESTS=OFF -DQVD_BUILD_GUI=OFF -DQVD_BUILD_BENCH=OFF
work="$root/.fuzz-work"
rm -rf "$work"; mkdir -p "$work"
for bin in "$root"/build-fuzz/tests/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    name=$(basename "$bin")
    corpus="$work/$name"
    mkdir -p "$corpus"
    if [ -d "$root/tests/fuzz/corpus/$name" ]; then cp -r "$root/tests/fuzz/corpus/$name/." "$corpus/"; fi
    echo "-- $name for ${seconds}s"
    "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$work/$name-" "$corpus" 2>"$work/$name.log" || { tail -n 60 "$work/$name.log"; exit 1; }
    grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$work/$name.log" | tail -n 2
    units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log" | tail -n 1)
    echo "-- $name: $((units * 60 / seconds)) executions per minute"
done
