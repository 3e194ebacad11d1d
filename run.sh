#!/usr/bin/env bash
# Installs what is missing, builds the Release program and runs the main job on
# FILE.pdf (the bundled sample when no file is given).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORLITH_TESTS=OFF >/dev/null
cmake --build build/release --target textextractor -j"$(nproc)" >/dev/null

file="${1:-samples/sample.pdf}"
exec build/release/src/cli/textextractor "$file" "${@:2}"
