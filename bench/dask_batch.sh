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

corpus=../shared/corpus
tex=/usr/share/doc/texlive-doc
# Package documentation, then corpus files.
sources=(
  /usr/share/R/doc/manual/R-FAQ.pdf /usr/share/R/doc/manual/R-admin.pdf /usr/share/R/doc/manual/R-data.pdf
  /usr/share/R/doc/manual/R-exts.pdf /usr/share/R/doc/manual/R-intro.pdf /usr/share/R/doc/manual/R-ints.pdf
  /usr/share/R/doc/manual/R-lang.pdf
  /usr/share/doc/gnuplot/gnuplot.pdf
  $tex/bibtex/base/btxdoc.pdf $tex/bibtex/base/btxhak.pdf $tex/dvipdfm/dvipdfm.pdf $tex/dvipdfmx/dvipdfmx.pdf
  $tex/dvipdfmx/tug2005.pdf $tex/dvips/dvips.pdf $tex/etex/base/etex_man.pdf $tex/fonts/amsfonts/amsfndoc.pdf
  $tex/fonts/modes/modes.pdf $tex/generic/enctex/encdoc-e.pdf $tex/generic/hyph-utf8/hyph-utf8.pdf
  $tex/generic/iftex/iftex.pdf $tex/kpathsea/kpathsea.pdf $tex/latex/mflogo/mflogo.pdf
  $tex/latex/apa6/apa6.pdf $tex/latex/jmlr/jmlr.pdf $tex/latex/revtex4-1/aip/aipguide4-1.pdf
  $tex/latex/els-cas-templates/doc/elsdoc-cas.pdf $tex/latex/lni/lni.pdf $tex/latex/llncs/llncsdoc.pdf
  $tex/latex/xduthesis/xduthesis.pdf $tex/latex/lshort-chinese/lshort-zh-cn.pdf
  $tex/latex/cjkpunct/CJKpunct.pdf $tex/xelatex/xecjk/xunicode-symbols.pdf
  $corpus/pdfminer/jo.pdf $corpus/pdfminer/simple4.pdf $corpus/pdfminer/simple5.pdf
  $corpus/pdfminer/font-size-test.pdf $corpus/pdfminer/sampleOneByteIdentityEncode.pdf
  $corpus/pdfminer/zen_of_python_corrupted.pdf $corpus/pdfminer/test_pattern_colors.pdf $corpus/pdfminer/simple2.pdf
)

data=build/bench-data/dask
rm -rf "$data"
mkdir -p "$data/in" "$data/config"
n=0
for src in "${sources[@]}"; do
  found=""
  for candidate in "$src" "$src.gz" "$src.xz"; do [ -e "$candidate" ] && { found=$candidate; break; }; done
  [ -n "$found" ] || { echo "missing: $src" >&2; continue; }
  n=$((n + 1))
  dest="$data/in/$(printf '%02d' "$n")-$(basename "$src")"
  case "$found" in
    *.gz) gzip -dc "$found" >"$dest" ;;
    *.xz) xz -dc "$found" >"$dest" ;;
    *) ln -s "$(realpath "$found")" "$dest" ;;
  esac
done
echo "$n files"

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
