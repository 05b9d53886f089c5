#!/usr/bin/env bash
# Builds the daemon when needed and runs it in the foreground with the sample configuration; Ctrl-C stops it.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DVARNOK_SANITIZE=ON -DVARNOK_TESTS=ON
fi
cmake --build build -j"$(nproc)" --target varnok
exec build/bin/varnok -c config/varnok.sample.json
