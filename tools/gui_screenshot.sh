#!/usr/bin/env bash
# Starts the window under Xvfb with the bundled sample opened and saves a
# picture of it: tools/gui_screenshot.sh [OUTPUT.png] (default
# docs/screenshot.png). Uses the build of ./test.sh (build/asan, or BUILD_DIR),
# building textextractor-gui there when missing. Installs xvfb, xauth and the
# CJK font when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$(realpath -m "${1:-docs/screenshot.png}")
build=${BUILD_DIR:-build/asan}
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" qt6-base-dev qt6-qpa-plugins fonts-wqy-microhei xvfb xauth

if [ ! -x "$build/src/gui/textextractor-gui" ]; then
  cmake -S . -B "$build" -DVORLITH_GUI=ON >/dev/null
  cmake --build "$build" -j2 --target textextractor-gui
fi
gui=$(realpath "$build/src/gui/textextractor-gui")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/sample.pdf "$work/"
mkdir -p "$(dirname "$out")"
# The settings of a first start, in the scratch folder; the program saves the
# picture itself (VORLITH_GUI_SCREENSHOT) and quits.
(cd "$work" && XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb VORLITH_GUI_SCREENSHOT="$out" \
  ASAN_OPTIONS=detect_leaks=0 LANG=C.UTF-8 \
  xvfb-run -a -s "-screen 0 1024x768x24" "$gui" sample.pdf)
echo "Saved $out"
