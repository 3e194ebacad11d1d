#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them.
#   fuzz/run.sh TARGET [SECONDS] [extra libFuzzer flags...]
# Seeds are read from fuzz/seeds/TARGET; new inputs go to build/fuzz/corpus/TARGET;
# crashes are written to fuzz/artifacts/ (copy a fixed one to
# fuzz/regressions/TARGET so that the tests replay it).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev

target="${1:?usage: fuzz/run.sh TARGET [SECONDS]}"
seconds="${2:-60}"
shift $(( $# >= 2 ? 2 : 1 ))

cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLITH_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build build/fuzz --target "$target" -j"$(nproc)" >/dev/null

mkdir -p "build/fuzz/corpus/$target" fuzz/artifacts
exec "build/fuzz/fuzz/$target" "build/fuzz/corpus/$target" "fuzz/seeds/$target" \
  -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix=fuzz/artifacts/ "$@"
