#!/usr/bin/env bash
# Times the reflow layout of a file against an AES-256 copy of it (made by
# qpdf in a temporary folder, user password "bench"), in the same run: runs
# alternate between the two, and the median wall time of each is printed with
# their ratio. Decryption should add no more than 10 %.
#   bench/compare_aes.sh [FILE.pdf] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" qpdf r-doc-pdf time
file="${1:-/usr/share/R/doc/manual/fullrefman.pdf}"
runs="${2:-5}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null
extractor=build/release/src/cli/textextractor

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
encrypted="$work/aes-256.pdf"
qpdf --encrypt bench owner 256 -- "$file" "$encrypted"

plain_times=() aes_times=()
stats="$work/time"
for _ in $(seq "$runs"); do
  /usr/bin/time -f "%e" -o "$stats" "$extractor" -q --layout reflow --all-pages --every-page --header "" --footer "" "$file" "$work/plain.txt"
  plain_times+=("$(tail -1 "$stats")")
  /usr/bin/time -f "%e" -o "$stats" "$extractor" -q --layout reflow --all-pages --every-page --header "" --footer "" -p bench "$encrypted" "$work/aes.txt"
  aes_times+=("$(tail -1 "$stats")")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
plain=$(median "${plain_times[@]}")
aes=$(median "${aes_times[@]}")

echo "file: $file ($runs runs each, alternating)"
echo "plain:   ${plain} s"
echo "AES-256: ${aes} s"
if cmp -s "$work/plain.txt" "$work/aes.txt"; then echo "text: the same"; else echo "text: DIFFERENT"; fi
awk -v a="$aes" -v p="$plain" 'BEGIN { if (p > 0) printf "ratio: %.3f (%s)\n", a / p, a / p <= 1.10 ? "within 10 %" : "MORE than 10 %" }'
