#!/usr/bin/env bash
# Builds everything with ThreadSanitizer into its own build directory and runs every test under it.
# Extra arguments go to ctest (for example -R events_loop).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${VARNOK_TSAN_BUILD_DIR:-build-tsan}
# -Wno-tsan: Boost.Asio's fenced blocks use std::atomic_thread_fence, which TSan does not model.
tsan_flags="-fsanitize=thread -fno-omit-frame-pointer -Wno-tsan"
launcher=()
if command -v ccache >/dev/null; then
  # Source locations must stay absolute paths, as the tests expect.
  unset CCACHE_BASEDIR
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

./scripts/install-deps.sh
cmake -S . -B "$build_dir" -DVARNOK_SANITIZE=OFF -DVARNOK_TESTS=ON "${launcher[@]}" \
  -DCMAKE_C_FLAGS="$tsan_flags" -DCMAKE_CXX_FLAGS="$tsan_flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread"
cmake --build "$build_dir" -j"$(nproc)"

# A report fails its test through TSan's exit code; every report of a run is printed.
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp second_deadlock_stack=1 history_size=4"
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)" "$@"
