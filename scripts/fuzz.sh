#!/usr/bin/env bash
# Builds the fuzzing tree (build-fuzz: clang, libFuzzer, ASan + UBSan) and runs every fuzz
# target, one after the other, for the given number of seconds each (default 600), or only
# the targets named after it. Each runs over a scratch copy of its seeds (fuzz/corpus/<name>),
# so the committed corpus only gains the regression inputs added to it by hand. Prints the
# executions per target; exits non-zero when any target finds a fault, whose input is kept
# in build-fuzz/findings/<name>/ and whose report is in build-fuzz/fuzz-logs/<name>.log.
#   scripts/fuzz.sh            # the long campaign
#   scripts/fuzz.sh 20         # the smoke run that scripts/test.sh ends with
#   scripts/fuzz.sh 120 gzip   # one target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
scripts/setup.sh

tree=build-fuzz
cmake -S . -B "$tree" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRVUTIL_FUZZ=ON -DRVUTIL_BUILD_TESTS=OFF -DRVUTIL_BUILD_BENCH=OFF -DRVUTIL_BUILD_TOOLS=OFF \
    -DRVUTIL_INSTALL=OFF >/dev/null
cmake --build "$tree" -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in fuzz/corpus/*/; do
        targets+=("$(basename "$dir")")
    done
fi

# Options by target: the largest input, the dictionary, and for the end-to-end targets a
# closed standard error (the library's log records; libFuzzer keeps its own reports).
options_for() {
    case $1 in
        curl_fetcher | rv_fetcher | differential) echo -max_len=8192 -dict=fuzz/http.dict -close_fd_mask=2 ;;
        response_head | header_lines | chunked | declared_length) echo -max_len=4096 -dict=fuzz/http.dict ;;
        gzip | zstd) echo -max_len=8192 ;;
        *) echo -max_len=4096 ;;
    esac
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$tree/findings" "$tree/fuzz-logs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
printf '%-16s %12s %10s  %s\n' target executions "per s" result
for name in "${targets[@]}"; do
    cp -r "fuzz/corpus/$name" "$scratch/$name"
    mkdir -p "$tree/findings/$name"
    log="$tree/fuzz-logs/$name.log"
    # shellcheck disable=SC2046
    if "$tree/fuzz/fuzz_$name" $(options_for "$name") -timeout=10 -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$tree/findings/$name/" "$scratch/$name" >"$log" 2>&1; then
        result=clean
    else
        result="FAULT (see $log)"
        failed+=("$name")
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    printf '%-16s %12s %10s  %s\n' "$name" "${runs:-?}" "${rate:-?}" "$result"
done
if [ ${#failed[@]} -gt 0 ]; then
    for name in "${failed[@]}"; do
        echo "== $name" >&2
        grep -E -m 12 '==FUZZ CHECK FAILED==|ERROR:|SUMMARY|^ +#[0-9]+ .* in |artifact_prefix|Test unit written' \
            "$tree/fuzz-logs/$name.log" >&2 || true
    done
    exit 1
fi
