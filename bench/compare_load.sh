#!/usr/bin/env bash
# Times `textextractor --info FILE` (load, select and measure every page)
# against `mutool pages FILE` on the same file: median wall time of N runs and
# peak memory of each.
#   bench/compare_load.sh [FILE.pdf] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" mupdf-tools r-doc-pdf time
file="${1:-/usr/share/R/doc/manual/fullrefman.pdf}"
runs="${2:-7}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null

measure() {  # prints "median_seconds peak_kb"
  local times=() peak=0 out stats
  stats=$(mktemp)
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$stats" "$@" >/dev/null 2>&1 || true
    out=$(tail -1 "$stats")
    times+=("${out% *}")
    (( ${out#* } > peak )) && peak=${out#* }
  done
  rm -f "$stats"
  printf '%s\n' "${times[@]}" | sort -n | awk -v p="$peak" '{a[NR]=$1} END {print a[int((NR+1)/2)], p}'
}

read -r ours ours_kb < <(measure build/release/src/cli/textextractor --info "$file")
read -r theirs theirs_kb < <(measure mutool pages "$file")
echo "file: $file"
echo "textextractor --info: ${ours} s, peak ${ours_kb} KB"
echo "mutool pages:         ${theirs} s, peak ${theirs_kb} KB"
awk -v a="$ours" -v b="$theirs" 'BEGIN { if (b > 0) printf "ratio: %.2f\n", a / b }'
