#!/usr/bin/env bash
# The Dask example against the console program on the same list of files, in
# one interleaved run, in the reflow layout:
#   batch -j 2     the console program's batch form, two worker processes
#   dask 2         examples/dask_extract.py on a LocalCluster of two workers,
#                  cluster start and stop included
# Prints the median total wall time of RUNS rounds and the Dask run's overhead
# over the batch form, then checks that the outputs are equal byte for byte.
#   bench/dask_batch.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${PYTHON_PACKAGES[@]}" python3-dask python3-distributed \
  r-doc-pdf gnuplot-doc texlive-base texlive-publishers-doc texlive-lang-chinese texlive-lang-cjk
runs="${1:-3}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF -DVORLITH_PYTHON=ON >/dev/null
cmake --build build/release --target textextractor vorlith -j"$(nproc)" >/dev/null

source bench/batch-files.sh

data=build/bench-data/dask
rm -rf "$data"
mkdir -p "$data/in" "$data/config"
link_batch_files "$data/in"
echo "$(ls "$data/in" | wc -l) files"

program=build/release/src/cli/textextractor
export XDG_CONFIG_HOME=$PWD/$data/config LC_ALL=C.UTF-8
export PYTHONPATH=$PWD/build/release/python
run_console() {
  rm -rf "$data/console" && mkdir -p "$data/console"
  "$program" -q --encoding UTF-8 --layout reflow --header "" --footer "" --all-pages --every-page -j 2 \
    -o "$data/console" "$data/in" || true
}
run_dask() {
  rm -rf "$data/dask"
  /usr/bin/python3 examples/dask_extract.py "$data/in" "$data/dask" --workers 2 --layout reflow >"$data/dask.log" 2>&1 || true
}
seconds() { local s; s=$(date +%s%N); "$@"; awk -v a="$s" -v b="$(date +%s%N)" 'BEGIN {printf "%.3f", (b - a) / 1e9}'; }
console_times=() dask_times=()
for ((r = 1; r <= runs; r++)); do
  console_times+=("$(seconds run_console)")
  dask_times+=("$(seconds run_dask)")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
c=$(median "${console_times[@]}") d=$(median "${dask_times[@]}")
awk -v c="$c" -v d="$d" 'BEGIN {printf "batch -j 2: %.2f s   dask 2 workers: %.2f s   overhead: %+.1f %%\n", c, d, (d - c) * 100 / c}'
tail -1 "$data/dask.log"
diff -r "$data/console" "$data/dask" >/dev/null && echo "outputs equal" || { echo "outputs differ"; exit 1; }
