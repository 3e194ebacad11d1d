#!/usr/bin/env bash
# Starts the window under Xvfb with the bundled sample opened and saves a
# picture of it in each of its languages: tools/gui_screenshot.sh [DIR]
# writes DIR/screenshot-en.png (LANG=en_US.UTF-8) and DIR/screenshot-zh.png
# (LANG=zh_CN.UTF-8); DIR defaults to docs. Qt takes the language from LANG
# even when the C library lacks that locale. Uses the build of ./test.sh
# (build/asan, or BUILD_DIR), building textextractor-gui there when missing.
# Installs xvfb, xauth, the CJK font and Qt's translation tools when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(realpath -m "${1:-docs}")
build=${BUILD_DIR:-build/asan}
source scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" qt6-base-dev qt6-qpa-plugins fonts-wqy-microhei "${GUI_I18N_PACKAGES[@]}" \
  xvfb xauth

if [ ! -x "$build/src/gui/textextractor-gui" ]; then
  cmake -S . -B "$build" -DVORLITH_GUI=ON >/dev/null
  cmake --build "$build" -j2 --target textextractor-gui
fi
gui=$(realpath "$build/src/gui/textextractor-gui")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/sample.pdf "$work/"
mkdir -p "$dir"
for shot in en:en_US.UTF-8 zh:zh_CN.UTF-8; do
  out="$dir/screenshot-${shot%%:*}.png"
  # The settings of a first start, in the scratch folder; the program saves
  # the picture itself (VORLITH_GUI_SCREENSHOT) and quits. Only LANG names
  # the language.
  rm -rf "$work/config"
  (cd "$work" && env -u LC_ALL -u LC_MESSAGES -u LC_NUMERIC -u LANGUAGE LANG="${shot#*:}" \
    XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb VORLITH_GUI_SCREENSHOT="$out" ASAN_OPTIONS=detect_leaks=0 \
    xvfb-run -a -s "-screen 0 1024x768x24" "$gui" sample.pdf)
  echo "Saved $out"
done
