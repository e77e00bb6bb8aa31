#!/usr/bin/env bash
# The library's main job from a fresh machine: build rvfetch and run its demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target rvfetch
exec build/tools/rvfetch/rvfetch --demo
