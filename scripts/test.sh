#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, runs every test, then builds
# the Debian packages and checks their contents.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build -DVARNOK_SANITIZE=ON -DVARNOK_TESTS=ON
cmake --build build -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build --output-on-failure -j"$(nproc)"
packaging/check-package.sh build

# Fuzz smoke: a clang build of the fuzz targets only, each run for a few seconds on its seed corpus.
cmake -S . -B build-fuzz -DVARNOK_FUZZ=ON -DVARNOK_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz -j"$(nproc)" --target fuzzers
ctest --test-dir build-fuzz --output-on-failure -j"$(nproc)" -L fuzz
