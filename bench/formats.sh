#!/usr/bin/env bash
# The structured formats against the reading layout's text, over the batch
# list (bench/batch-files.sh) in one batch run each, pair by pair in one run:
# --format json may take at most 1.25 times, --format markdown 1.3 times the
# time of --format text --layout reading.
#   bench/formats.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" r-doc-pdf gnuplot-doc texlive-base texlive-publishers-doc \
  texlive-lang-chinese texlive-lang-cjk
runs="${1:-5}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null
ours="$PWD/build/release/src/cli/textextractor"
data=build/bench-data/formats
rm -rf "$data"
mkdir -p "$data/config" "$data/in"
export XDG_CONFIG_HOME="$PWD/$data/config"
source bench/batch-files.sh
link_batch_files "$data/in"
base="$ours -q --all-pages --every-page --timeout 0 -j 1"
text="$base --layout reading --format text -o $data/text $data/in"
for format in json markdown; do
  "$ours" --help | grep -q "$format" || continue
  echo "== --format $format (A) against the reading layout's text (B), one process"
  farm-bench -n "$runs" --timeout 900 --vs "$text" -- $base --format "$format" -o "$data/$format" "$data/in" |
    grep -E "wall|cpu s|peak"
done
