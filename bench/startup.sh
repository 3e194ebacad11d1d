#!/usr/bin/env bash
# The cost of one start: our console program against `mutool draw -F txt` on
# small files, timed by hyperfine in one interleaved run (both read the same
# file and write a text file). By default a one-page file and a one-page file
# with an embedded TrueType font from ../shared/corpus.
#   bench/startup.sh [RUNS] [FILE.pdf ...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" mupdf-tools hyperfine
runs="${1:-50}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null

corpus=../shared/corpus
if [ $# -gt 1 ]; then
  files=("${@:2}")
else
  files=("$corpus/pdfminer/jo.pdf" "$corpus/pdfminer/simple4.pdf")
fi
data=build/bench-data
mkdir -p "$data/config"
# The stored settings of whoever runs this must not change what is timed.
export XDG_CONFIG_HOME="$PWD/$data/config"
ours="$PWD/build/release/src/cli/textextractor"
for file in "${files[@]}"; do
  echo "== $(basename "$file")"
  hyperfine -N -w 5 -r "$runs" --style basic \
    -n mutool "mutool draw -F txt -o $data/mutool.txt $file" \
    -n ours "$ours -q --encoding UTF-8 $file $data/ours.txt" 2>&1 | grep -v '^ *$'
done
