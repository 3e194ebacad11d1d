#!/usr/bin/env bash
# Many files at once: a fixed list of PDF files from Debian documentation
# packages and ../shared/corpus, extracted in one interleaved run by
#   mutool       `mutool draw -F txt`, one process per file, one after another
#   single       our single-file form, one process per file, one after another
#   batch -j 1   our batch form, one worker
#   batch -j 2   our batch form, two workers
# in the reflow layout. Prints the median total wall time of RUNS rounds, the
# peak memory (largest single process) of each, and the ratios to mutool;
# then checks that the batch outputs are the single form's, byte for byte.
#   bench/batch.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" mupdf-tools time r-doc-pdf gnuplot-doc texlive-base \
  texlive-publishers-doc texlive-lang-chinese texlive-lang-cjk
runs="${1:-3}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null

source bench/batch-files.sh

data=build/bench-data/batch
rm -rf "$data/in"
mkdir -p "$data/in" "$data/config"
# One folder of numbered links, so that the batch form can take the folder.
link_batch_files "$data/in"
files=("$data"/in/*.pdf)
pages=0
for f in "${files[@]}"; do pages=$((pages + $(mutool info "$f" 2>/dev/null | awk '/^Pages:/ {print $2}'))); done
echo "${#files[@]} files, $pages pages, $runs rounds (interleaved); times are totals over all files"

export XDG_CONFIG_HOME="$PWD/$data/config"  # no stored settings of whoever runs this
ours="$PWD/build/release/src/cli/textextractor"
opts=(-q --layout reflow --encoding UTF-8)

run_mutool() { for f in "${files[@]}"; do mutool draw -q -F txt -o "$data/out-mutool/$(basename "$f" .pdf).txt" "$f" 2>/dev/null || true; done; }
run_single() { for f in "${files[@]}"; do "$ours" "${opts[@]}" "$f" "$data/out-single/$(basename "$f" .pdf).txt" || true; done; }
run_batch1() { "$ours" "${opts[@]}" -j 1 -o "$data/out-batch1" "$data/in" 2>/dev/null || true; }
run_batch2() { "$ours" "${opts[@]}" -j 2 -o "$data/out-batch2" "$data/in" 2>/dev/null || true; }
export -f run_mutool run_single run_batch1 run_batch2
export data ours
names=(mutool single batch1 batch2)
labels=("mutool, one process per file" "ours, one process per file" "ours, batch -j 1" "ours, batch -j 2")

declare -A times peak
for name in "${names[@]}"; do times[$name]=""; peak[$name]=0; done
stats=$(mktemp)
for round in $(seq "$runs"); do
  for name in "${names[@]}"; do
    rm -rf "$data/out-$name"
    mkdir -p "$data/out-$name"
    # The exported arrays do not survive export: the function runs in this shell's child.
    /usr/bin/time -f "%e %M" -o "$stats" bash -c "files=(\"$data\"/in/*.pdf); opts=(${opts[*]}); run_$name"
    read -r seconds kb <"$stats"
    times[$name]+="$seconds "
    (( kb > peak[$name] )) && peak[$name]=$kb
  done
done
rm -f "$stats"

median() { printf '%s\n' $1 | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
base=$(median "${times[mutool]}")
printf '%-32s %10s %12s %10s\n' command "median s" "peak KB" "/mutool"
for i in "${!names[@]}"; do
  name=${names[$i]}
  t=$(median "${times[$name]}")
  printf '%-32s %10s %12s %10s\n' "${labels[$i]}" "$t" "${peak[$name]}" "$(awk -v a="$t" -v b="$base" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')"
done

# The batch form writes what the single form writes.
if diff -rq "$data/out-single" "$data/out-batch2" >/dev/null && diff -rq "$data/out-single" "$data/out-batch1" >/dev/null; then
  echo "batch outputs identical to the single form's"
else
  echo "batch outputs DIFFER from the single form's:" >&2
  diff -rq "$data/out-single" "$data/out-batch2" >&2 || true
  exit 1
fi
