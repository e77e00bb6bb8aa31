#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need. Idempotent:
# asks apt only for what is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    clang clang-tidy libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libcurl4-openssl-dev libzstd-dev libdeflate-dev zlib1g-dev
    libboost1.81-dev libssl-dev libspdlog-dev libfmt-dev
    nginx-light tinyproxy socat openssl zstd gzip curl
    dpkg-dev fakeroot file lintian hyperfine
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "setup: installing ${missing[*]}"
$sudo apt-get update -qq
# policy-rc.d keeps the package scripts from starting nginx or tinyproxy as system services:
# tests start their own instances on loopback ports.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod +x "$policy"
    trap '$sudo rm -f "$policy"' EXIT
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
