#!/usr/bin/env bash
# The Dask example against the console program on the same lists of files, in
# one interleaved run, in the reflow layout:
#   batch -j 2     the console program's batch form, two worker processes
#   dask 2         examples/dask_extract.py on a LocalCluster of two workers,
#                  Python's start, the imports, cluster start and stop included
# Prints, for each list, the median total wall time of RUNS rounds (and each
# round's), the Dask run's overhead over the batch form and its last summary
# line, then checks that the outputs are equal byte for byte.
#   bench/dask_batch.sh [RUNS] [LIST...]
# LIST (default: 40 empty):
#   40      the 40 files of bench/batch-files.sh (bench/batch.sh's list)
#   corpus  those and every other PDF file of ../shared/corpus that opens
#           (vorlith.info reads it; some need a password, a failure in both)
#   docs    those and every PDF file of the Debian documentation packages
#           below (R manuals, gnuplot, TeX Live: about 1,700 files)
#   empty   an empty folder: the fixed cost of each form
# The files are read in place, through numbered links.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
doc_packages=(r-doc-pdf gnuplot-doc texlive-base texlive-publishers-doc texlive-lang-chinese texlive-lang-cjk)
ensure_packages "${BUILD_PACKAGES[@]}" "${PYTHON_PACKAGES[@]}" python3-dask python3-distributed "${doc_packages[@]}"
runs="${1:-3}"
shift || true
lists=("$@")
[ ${#lists[@]} -gt 0 ] || lists=(40 empty)
for list in "${lists[@]}"; do
  case "$list" in 40 | corpus | docs | empty) ;; *) echo "unknown list: $list" >&2; exit 2 ;; esac
done
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF -DVORLITH_PYTHON=ON >/dev/null
cmake --build build/release --target textextractor vorlith -j"$(nproc)" >/dev/null

source bench/batch-files.sh

data=build/bench-data/dask
program=build/release/src/cli/textextractor
rm -rf "$data"
mkdir -p "$data/config"
export XDG_CONFIG_HOME=$PWD/$data/config LC_ALL=C.UTF-8
export PYTHONPATH=$PWD/build/release/python

# Links numbered after the folder's, to the files named on standard input
# that vorlith opens and that the folder does not hold yet.
add_links() {
  /usr/bin/python3 -c '
import os, sys, vorlith
folder = sys.argv[1]
have = {os.path.realpath(os.path.join(folder, name)) for name in os.listdir(folder)}
n = len(have)
for line in sys.stdin:
    path = os.path.realpath(line.rstrip("\n"))
    if path in have or not os.path.isfile(path):
        continue
    try:
        vorlith.info(path)
    except vorlith.PDFError:
        continue
    have.add(path)
    n += 1
    os.symlink(path, os.path.join(folder, "%04d-%s" % (n, os.path.basename(path))))
' "$1"
}
corpus_pdfs() { find "$corpus" -type f -iname '*.pdf' | sort; }
doc_pdfs() { for p in "${doc_packages[@]}"; do dpkg -L "$p"; done | grep -i '\.pdf$' | sort -u; }

for list in "${lists[@]}"; do
  in=$data/$list/in
  mkdir -p "$in"
  case "$list" in
    40) link_batch_files "$in" ;;
    corpus) link_batch_files "$in" && corpus_pdfs | add_links "$in" ;;
    docs) link_batch_files "$in" && { corpus_pdfs; doc_pdfs; } | add_links "$in" ;;
  esac
done

run_console() {
  rm -rf "$data/$1/console" && mkdir -p "$data/$1/console"
  "$program" -q --encoding UTF-8 --layout reflow --header "" --footer "" --all-pages --every-page -j 2 \
    -o "$data/$1/console" "$data/$1/in" >/dev/null 2>&1 || true
}
run_dask() {
  rm -rf "$data/$1/dask"
  /usr/bin/python3 examples/dask_extract.py "$data/$1/in" "$data/$1/dask" --workers 2 --layout reflow \
    >"$data/$1/dask.log" 2>&1 || true
}
seconds() { local s; s=$(date +%s%N); "$@"; awk -v a="$s" -v b="$(date +%s%N)" 'BEGIN {printf "%.3f", (b - a) / 1e9}'; }
declare -A console_times dask_times
for ((r = 1; r <= runs; r++)); do
  for list in "${lists[@]}"; do
    console_times[$list]+="$(seconds run_console "$list") "
    dask_times[$list]+="$(seconds run_dask "$list") "
  done
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
status=0
for list in "${lists[@]}"; do
  # shellcheck disable=SC2086
  c=$(median ${console_times[$list]}) d=$(median ${dask_times[$list]})
  files=$(find "$data/$list/in" -iname '*.pdf' | wc -l)
  awk -v l="$list" -v n="$files" -v c="$c" -v d="$d" 'BEGIN {
    printf "%-6s %5d files  batch -j 2: %6.2f s   dask 2 workers: %6.2f s   ", l, n, c, d
    if (n > 0) printf "overhead: %+.1f %% (%+.2f s)\n", (d - c) * 100 / c, d - c
    else printf "fixed cost: %+.2f s\n", d - c }'
  echo "       rounds: batch ${console_times[$list]}  dask ${dask_times[$list]}"
  echo "       $(tail -1 "$data/$list/dask.log")"
  if diff -r "$data/$list/console" "$data/$list/dask" >/dev/null; then echo "       outputs equal"
  else echo "       outputs differ"; status=1; fi
done
exit $status
