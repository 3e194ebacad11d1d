#!/usr/bin/env bash
# Times our layouts (`textextractor --layout L -q FILE OUT`) against
# `pdftotext -raw`, `pdftotext` and `mutool draw -F txt` on the R reference
# manual and the Chinese LaTeX introduction (lshort-zh-cn): median wall time
# of N runs and peak memory of each, and the ratios of ours to mutool's.
# LAYOUTS="content reflow positioned" chooses the layouts.
#   bench/compare_content.sh [RUNS] [FILE.pdf ...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" poppler-utils mupdf-tools r-doc-pdf texlive-lang-chinese time
runs="${1:-5}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null

data=build/bench-data
mkdir -p "$data/config"
out="$data/out.txt"

# lshort-zh-cn.pdf as shipped, or decompressed into build/bench-data/.
lshort_zh_cn() {
  local src
  src=$(dpkg -L texlive-lang-chinese | grep -E '/lshort-zh-cn\.pdf(\.(gz|xz|bz2))?$') || {
    echo "lshort-zh-cn.pdf not found in texlive-lang-chinese" >&2
    return 1
  }
  src=${src%%$'\n'*}
  local dest="$data/lshort-zh-cn.pdf" tool=
  case "$src" in
    *.pdf) echo "$src"; return 0 ;;
    *.gz) tool=gzip ;;
    *.xz) tool=xz ;;
    *.bz2) tool=bzip2 ;;
    *) echo "unknown compression: $src" >&2; return 1 ;;
  esac
  [ "$dest" -nt "$src" ] || "$tool" -dc "$src" >"$dest"
  echo "$dest"
}

if [ $# -gt 1 ]; then
  files=("${@:2}")
else
  lshort=$(lshort_zh_cn)
  files=(/usr/share/R/doc/manual/fullrefman.pdf "$lshort")
fi

measure() {  # prints "median_seconds peak_kb failed_runs"
  local times=() peak=0 failed=0 out stats
  stats=$(mktemp)
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$stats" "$@" >/dev/null 2>&1 || failed=$((failed + 1))
    out=$(tail -1 "$stats")
    times+=("${out% *}")
    (( ${out#* } > peak )) && peak=${out#* }
  done
  rm -f "$stats"
  printf '%s\n' "${times[@]}" | sort -n | awk -v p="$peak" -v f="$failed" '{a[NR]=$1} END {print a[int((NR+1)/2)], p, f}'
}

# The stored settings of whoever runs this must not change what is timed.
export XDG_CONFIG_HOME="$PWD/$data/config"
ours=build/release/src/cli/textextractor

# Our layouts (LAYOUTS, default all three) against pdftotext (-raw for the
# content layout, its default reading order for the others) and mutool.
layouts=(${LAYOUTS:-content reflow positioned})
printf '%-24s %-22s %10s %12s %s\n' file command "median s" "peak KB" ""
row() {  # file command seconds kb failed
  local note=""
  (( $5 > 0 )) && note="($5 of $runs runs failed)"
  printf '%-24s %-22s %10s %12s %s\n' "${1:0:24}" "$2" "$3" "$4" "$note"
}
for file in "${files[@]}"; do
  name=$(basename "$file")
  read -r t_raw kb_raw f_raw < <(measure pdftotext -raw "$file" "$out")
  read -r t_read kb_read f_read < <(measure pdftotext "$file" "$out")
  read -r t_mutool kb_mutool f_mutool < <(measure mutool draw -F txt -o "$out" "$file")
  row "$name" "pdftotext -raw" "$t_raw" "$kb_raw" "$f_raw"
  row "$name" "pdftotext" "$t_read" "$kb_read" "$f_read"
  row "$name" "mutool draw -F txt" "$t_mutool" "$kb_mutool" "$f_mutool"
  for layout in "${layouts[@]}"; do
    read -r t kb f < <(measure "$ours" --layout "$layout" -q --encoding UTF-8 "$file" "$out")
    row "$name" "ours --layout $layout" "$t" "$kb" "$f"
    awk -v n="${name:0:24}" -v l="$layout" -v a="$t" -v b="$t_mutool" -v c="$kb" -v d="$kb_mutool" 'BEGIN {
      printf "%-24s %-22s %10s %12s\n", n, l "/mutool",
        (b > 0 ? sprintf("%.2f", a / b) : "-"), (d > 0 ? sprintf("%.2f", c / d) : "-") }'
  done
done
rm -f "$out"
