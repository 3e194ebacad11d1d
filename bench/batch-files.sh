# Sourced by bench/batch.sh and bench/dask_batch.sh: the fixed list of 40
# PDF files of the batch benchmarks, and a function that lays them out.
corpus=../shared/corpus
tex=/usr/share/doc/texlive-doc
# The list: package documentation first, then corpus files (all of which load).
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

# Numbered links (or decompressed copies) of the list's files in folder $1,
# so that names do not collide and one folder holds them all; prints the
# missing ones on standard error.
link_batch_files() {
  local dir=$1 n=0 src found candidate dest
  for src in "${sources[@]}"; do
    found=""
    for candidate in "$src" "$src.gz" "$src.xz"; do [ -e "$candidate" ] && { found=$candidate; break; }; done
    [ -n "$found" ] || { echo "missing: $src" >&2; continue; }
    n=$((n + 1))
    dest="$dir/$(printf '%02d' "$n")-$(basename "$src")"
    case "$found" in
      *.gz) gzip -dc "$found" >"$dest" ;;
      *.xz) xz -dc "$found" >"$dest" ;;
      *) ln -s "$(realpath "$found")" "$dest" ;;
    esac
  done
}
