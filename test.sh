#!/usr/bin/env bash
# Installs what is missing, builds a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer (and the Python module, which that build compiles
# without sanitizers), and runs every test, the Python ones too. Exits
# non-zero on a failure.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVORLITH_SANITIZE=ON -DVORLITH_TESTS=ON -DVORLITH_GUI=ON -DVORLITH_PYTHON=ON >/dev/null
cmake --build build/asan -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
ctest --test-dir build/asan --output-on-failure -j"$(nproc)" "$@"
