#!/usr/bin/env bash
# Builds everything with gcc's --coverage into its own build directory, runs every test and prints the
# line and branch coverage of src/ and libs/ (test code excluded). Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${VARNOK_COVERAGE_BUILD_DIR:-build-coverage}
launcher=()
if command -v ccache >/dev/null; then
  # Source locations must stay absolute paths, as the tests expect.
  unset CCACHE_BASEDIR
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

./scripts/install-deps.sh
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DVARNOK_SANITIZE=OFF -DVARNOK_TESTS=ON "${launcher[@]}" \
  -DCMAKE_C_FLAGS="--coverage" -DCMAKE_CXX_FLAGS="--coverage" \
  -DCMAKE_EXE_LINKER_FLAGS="--coverage" -DCMAKE_SHARED_LINKER_FLAGS="--coverage"
cmake --build "$build_dir" -j"$(nproc)"

find "$build_dir" -name '*.gcda' -delete
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)" "$@" || echo "coverage: some tests failed" >&2

# The per-file report goes to coverage.txt in the build directory; the totals are printed.
gcovr --root . --object-directory "$build_dir" --exclude-directories '.*/CMakeFiles/[0-9.]+/' \
  --filter 'src/' --filter 'libs/' --exclude '(.*/)?tests/' \
  --exclude-unreachable-branches --exclude-throw-branches --print-summary --txt "$build_dir/coverage.txt"
