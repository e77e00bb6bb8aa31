#!/usr/bin/env bash
# Builds the benchmarks optimised and runs each one; every benchmark prints its ratio
# against the baseline it measures in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRVUTIL_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)"
for b in build-bench/bench/*/bench_*; do
    [ -x "$b" ] || continue
    echo "== $b"
    "$b" "$@"
done
