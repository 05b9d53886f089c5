#!/usr/bin/env bash
# Scale benchmark: builds the release daemon and the benchmark, then measures each site size and prints
# one table. Options other than --daemon and --build go to varnok-bench (see bench/src/main.cpp):
#   bench/run.sh                                   # 1,000 × 100 and 1,000 × 1,000
#   bench/run.sh --tags 10000 --zones 1000         # one size
#   bench/run.sh --sizes 1000x100,10000x1000 --daemon /path/to/varnok
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-release
daemon=""
args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --daemon) daemon=$(realpath "$2"); shift 2 ;;
        --build) build=$(realpath -m "$2"); shift 2 ;;
        *) args+=("$1"); shift ;;
    esac
done

if ! command -v wrk >/dev/null; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "wrk is missing: install the Debian package wrk" >&2
        exit 1
    fi
    apt-get install -y wrk >/dev/null || { apt-get update >/dev/null && apt-get install -y wrk >/dev/null; }
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
targets=(varnok-bench)
if [ -z "$daemon" ]; then
    targets+=(varnok)
    daemon=$build/bin/varnok
fi
mkdir -p "$build"
log=$build/bench-build.log
echo "building ${targets[*]} in $build" >&2
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVARNOK_SANITIZE=OFF -DVARNOK_TESTS=ON \
    -DVARNOK_BENCH=ON "${launcher[@]}" && cmake --build "$build" -j2 --target "${targets[@]}"; } >"$log" 2>&1; then
    tail -40 "$log" >&2
    exit 1
fi

exec "$build/bin/varnok-bench" --daemon "$daemon" "${args[@]}"
