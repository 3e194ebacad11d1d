#!/usr/bin/env bash
# Installs what is missing, builds the Release program and runs the main job:
#   ./run.sh                 extracts the bundled sample and prints its text
#   ./run.sh FILE.pdf [OUTPUT] [OPTIONS]
#                            runs textextractor with the arguments as given:
#                            FILE.pdf into OUTPUT (default FILE.txt), see --help
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null

if [ $# -eq 0 ]; then
  exec build/release/src/cli/textextractor examples/sample.pdf -
fi
exec build/release/src/cli/textextractor "$@"
