#!/usr/bin/env bash
# One large document on every core: the single-file form with -j 2 against
# -j 1, pair by pair in one run, on R's full reference manual and the longest
# file of the batch list (gnuplot.pdf, 311 pages), in the reflow and reading layouts. The target is at
# most 0.6 of the -j 1 wall time (on two cores). The outputs are compared
# byte for byte first.
#   bench/pages.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" r-doc-pdf gnuplot-doc
runs="${1:-5}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null
ours="$PWD/build/release/src/cli/textextractor"
data=build/bench-data/pages
mkdir -p "$data/config"
export XDG_CONFIG_HOME="$PWD/$data/config"
for file in /usr/share/R/doc/manual/fullrefman.pdf \
            /usr/share/doc/gnuplot/gnuplot.pdf; do
  [ -f "$file" ] || { echo "missing: $file" >&2; continue; }
  for layout in reflow reading; do
    "$ours" -q --layout "$layout" "$file" "$data/one.txt"
    "$ours" -q -j 2 --layout "$layout" "$file" "$data/two.txt"
    cmp "$data/one.txt" "$data/two.txt"
    echo "== $(basename "$file"), $layout: -j 2 (A) against -j 1 (B)"
    farm-bench -n "$runs" --timeout 900 --vs "$ours -q --layout $layout $file $data/one.txt" -- \
      "$ours" -q -j 2 --layout "$layout" "$file" "$data/two.txt" | grep -E "wall|cpu s|peak"
  done
done
