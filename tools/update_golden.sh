#!/usr/bin/env bash
# Rewrites the golden outputs (tests/golden/expected/) from the console
# program as it is now, then prints what changed for review:
#   tools/update_golden.sh [BUILD_DIR]     (default: build/asan, as ./test.sh builds it)
# A change of the golden outputs is committed only on purpose, with its reason.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/asan}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVORLITH_SANITIZE=ON -DVORLITH_TESTS=ON >/dev/null
fi
cmake --build "$build" --target golden_test textextractor -j"$(nproc)" >/dev/null
GOLDEN_UPDATE=1 "$build/tests/golden_test" --gtest_brief=1 || true
git add --intent-to-add tests/golden/expected
git --no-pager diff --stat -- tests/golden
git --no-pager diff --text -- tests/golden
