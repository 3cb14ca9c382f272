#!/usr/bin/env bash
# Builds Tabrixa and runs the whole test suite: once on the normal build, then
# once more on an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup.sh --test
jobs="$(nproc)"

echo "== Test suite (build/)"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600

echo "== Test suite under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTBX_SANITIZE=ON -DTBX_WITH_GUI=OFF >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp"
ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 900
