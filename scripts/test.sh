#!/usr/bin/env bash
# Builds everything and runs every test: once as built for use (then clang-tidy's naming
# and function-size checks over the same tree), once under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the tests labelled "tsan" once more
# under ThreadSanitizer; then every fuzz target for 20 seconds from its seeds, any finding
# failing the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

run_suite() {  # build-dir, extra cmake arguments...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRVUTIL_WERROR=ON
ctest --test-dir build --output-on-failure -j "$jobs"
# The naming conventions and the size of functions (CONTRIBUTING.md, "Names"), over every
# translation unit of the tree just built.
scripts/naming.sh build

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DRVUTIL_SANITIZE=address,undefined -DRVUTIL_BUILD_BENCH=OFF
ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The ThreadSanitizer tree holds only the suites marked TSAN (see tests/CMakeLists.txt).
run_suite build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRVUTIL_SANITIZE=thread \
    -DRVUTIL_BUILD_BENCH=OFF -DRVUTIL_BUILD_TOOLS=OFF
if ctest --test-dir build-tsan -N -L tsan | grep -q 'Total Tests: [1-9]'; then
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L tsan
fi

scripts/fuzz.sh 20
