#!/usr/bin/env bash
# What the limits and the report cost: the batch list (bench/batch-files.sh)
# through the batch form with two workers, without limits (--timeout 0
# --max-memory 0) against the defaults (300 s, a share of the memory) with
# --report, pair by pair in one run.
#   bench/limits.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" r-doc-pdf gnuplot-doc texlive-base texlive-publishers-doc \
  texlive-lang-chinese texlive-lang-cjk
runs="${1:-5}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null
source bench/batch-files.sh
data=build/bench-data/limits
rm -rf "$data"
mkdir -p "$data/in" "$data/config"
link_batch_files "$data/in"
export XDG_CONFIG_HOME="$PWD/$data/config"
ours="$PWD/build/release/src/cli/textextractor"
plain="$ours -q --layout reflow -j 2 --timeout 0 --max-memory 0 -o $data/out-a $data/in"
limited="$ours -q --layout reflow -j 2 --report $data/report.jsonl -o $data/out-b $data/in"
farm-bench -n "$runs" --timeout 900 --vs "$plain" -- $limited
