#!/usr/bin/env bash
# Times the recognition of a scanned page: `textextractor --ocr always` on
# each scanned fixture (an A4 page image at 300 dpi, in several filters)
# against the tesseract command on the same image at the same resolution
# (written as a PNG file by pdfimages), in the same languages, with one
# thread each (ours holds itself to one; the command is given
# OMP_THREAD_LIMIT=1, and its own default is timed too). The three take
# turns. Prints the median wall time of N runs of each and the ratio of ours
# to the one-thread command's; the target is at most 1.1.
#   bench/compare_ocr.sh [RUNS] [LANGUAGES]      (default: 5 eng)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" poppler-utils tesseract-ocr time
runs="${1:-5}"
langs="${2:-eng}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null

data=build/bench-data/ocr
mkdir -p "$data/config"
export XDG_CONFIG_HOME="$PWD/$data/config"

# The wall time (seconds) that COMMAND... takes.
seconds() {
  /usr/bin/time -f %e -o "$data/time" "$@" >/dev/null 2>&1
  tail -1 "$data/time"
}

# The median of the numbers on standard input.
median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

printf '%-24s %10s %12s %14s %8s\n' file ours tesseract-1t tesseract-deflt ratio
for pdf in tests/fixtures/images/scanned-{g4,dct,flate,jbig2}.pdf; do
  name=$(basename "$pdf" .pdf)
  rm -f "$data/$name"-*.png
  pdfimages -png "$pdf" "$data/$name" 2>/dev/null
  image=$(ls "$data/$name"-*.png | head -1)
  # The three take turns, so that a busy moment of the machine falls on all.
  ours=() one=() default=()
  for _ in $(seq "$runs"); do
    ours+=("$(seconds build/release/src/cli/textextractor -q --ocr always --ocr-lang "$langs" "$pdf" "$data/out.txt")")
    one+=("$(OMP_THREAD_LIMIT=1 seconds tesseract "$image" - -l "$langs" --dpi 300 --psm 3)")
    default+=("$(seconds tesseract "$image" - -l "$langs" --dpi 300 --psm 3)")
  done
  o=$(printf '%s\n' "${ours[@]}" | median)
  t=$(printf '%s\n' "${one[@]}" | median)
  d=$(printf '%s\n' "${default[@]}" | median)
  ratio=$(awk -v a="$o" -v b="$t" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  printf '%-24s %10s %12s %14s %8s\n' "$name" "$o" "$t" "$d" "$ratio"
done
