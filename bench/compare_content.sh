#!/usr/bin/env bash
# Times `textextractor --layout content -q FILE OUT` against `pdftotext -raw`
# and `mutool draw -F txt` on the R reference manual and the Chinese LaTeX
# introduction (lshort-zh-cn): median wall time of N runs and peak memory of
# each, and the ratios of ours to mutool's.
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

printf '%-24s %-14s %10s %12s %s\n' file command "median s" "peak KB" ""
for file in "${files[@]}"; do
  name=$(basename "$file")
  read -r t_ours kb_ours f_ours < <(measure "$ours" --layout content -q --encoding UTF-8 "$file" "$out")
  read -r t_pdftotext kb_pdftotext f_pdftotext < <(measure pdftotext -raw "$file" "$out")
  read -r t_mutool kb_mutool f_mutool < <(measure mutool draw -F txt -o "$out" "$file")
  for row in "textextractor $t_ours $kb_ours $f_ours" "pdftotext $t_pdftotext $kb_pdftotext $f_pdftotext" \
             "mutool $t_mutool $kb_mutool $f_mutool"; do
    read -r cmd t kb f <<<"$row"
    note=""
    (( f > 0 )) && note="($f of $runs runs failed)"
    printf '%-24s %-14s %10s %12s %s\n' "${name:0:24}" "$cmd" "$t" "$kb" "$note"
  done
  awk -v n="${name:0:24}" -v a="$t_ours" -v b="$t_mutool" -v c="$kb_ours" -v d="$kb_mutool" 'BEGIN {
    printf "%-24s %-14s %10s %12s\n", n, "ours/mutool",
      (b > 0 ? sprintf("%.2f", a / b) : "-"), (d > 0 ? sprintf("%.2f", c / d) : "-") }'
done
rm -f "$out"
