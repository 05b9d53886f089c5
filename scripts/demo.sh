#!/usr/bin/env bash
# Builds the daemon and the location-system simulator when needed, then runs the daemon against the
# simulator with the bundled scenario; the simulator stops the daemon and prints a summary at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DVARNOK_SANITIZE=ON -DVARNOK_TESTS=ON
fi
cmake --build build -j"$(nproc)" --target varnok varnok-sim
exec build/bin/varnok-sim --scenario test-tools/scenarios/demo.json --daemon build/bin/varnok "$@"
