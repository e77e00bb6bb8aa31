#!/usr/bin/env bash
# Holds the conventions that a reader should not have to police: runs clang-tidy with the
# project's .clang-tidy files (names everywhere, the size of functions in src/) over the
# translation units of a build tree and fails on any finding.
#   scripts/naming.sh [build-dir] [regex of the files to check]
# The build directory must have been configured (it holds compile_commands.json).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
files=${2:-^$PWD/(src|tools|tests|bench|fuzz)/}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run-clang-tidy-14 -quiet -p "$build" -j "$(nproc)" "$files" >"$log" 2>&1
status=$?
# Only the findings: not the command lines and counts run-clang-tidy prints around them.
grep -v -e '^[0-9]* warnings\? generated' -e '^Suppressed [0-9]* warnings' \
    -e 'Use -header-filter=' -e '^clang-tidy-14 ' -e '^Running clang-tidy' "$log"
exit $status
