#!/usr/bin/env bash
# Sourced by run.sh and test.sh: installs the Debian packages that are missing,
# and does nothing when all of them are present.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then sudo=(sudo); else
      echo "Missing packages (${missing[*]}) and no root rights to install them." >&2
      return 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq &&
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What every build needs. Fonts without a program take the advances of an
# installed substitute: fontconfig finds it, and the Liberation fonts (metric
# compatible with Arial, Times New Roman and Courier New) make the choice the
# same on every machine.
BUILD_PACKAGES=(cmake g++ make pkg-config zlib1g-dev libfontconfig-dev fontconfig fonts-liberation2)
# Adobe's CMap resources, read at run time: the text of Chinese, Japanese and
# Korean fonts that carry no ToUnicode map.
BUILD_PACKAGES+=(poppler-data)
# What the tests need on top: GoogleTest, qpdf and poppler-utils as
# independent checkers of the fixture files the tests write, and the Type 1
# programs of fonts-urw-base35 that font fixtures embed.
TEST_PACKAGES=(libgtest-dev qpdf poppler-utils fonts-urw-base35)
# The Qt window and its tests (Qt's offscreen platform is in qt6-qpa-plugins),
# and a CJK font for its Chinese captions.
TEST_PACKAGES+=(qt6-base-dev qt6-qpa-plugins fonts-wqy-microhei)
# The window's translations: Qt's LinguistTools CMake package (qt6-tools-dev)
# and lupdate/lrelease (qt6-l10n-tools) build the .qm files.
GUI_I18N_PACKAGES=(qt6-tools-dev qt6-l10n-tools)
# Qt's own catalogs (the buttons of message boxes, the file dialogs), loaded
# with ours at run time.
GUI_I18N_PACKAGES+=(qt6-translations-l10n)
TEST_PACKAGES+=("${GUI_I18N_PACKAGES[@]}")
# Encrypted documents: AES and SHA-2 come from OpenSSL's libcrypto, the
# SASLprep of AES-256 passwords from GNU Libidn.
BUILD_PACKAGES+=(libssl-dev libidn-dev)
# The Python module (pybind11 against Debian's /usr/bin/python3) and what the
# Python tests and the Dask example need: pytest, Dask with its distributed
# scheduler, and reportlab, which writes fixture files at test time.
PYTHON_PACKAGES=(pybind11-dev python3-dev)
TEST_PACKAGES+=("${PYTHON_PACKAGES[@]}" python3-pytest python3-dask python3-distributed python3-reportlab)
# The JSON format's schema check.
TEST_PACKAGES+=(python3-jsonschema)
# The quality scripts in tests/quality: the two reference programs, the
# Levenshtein ratio of tests/quality/geotopo_ratio.py, and the outlines that
# tests/quality/markdown_headings.py reads with PyMuPDF.
QUALITY_PACKAGES=(poppler-utils mupdf-tools python3-levenshtein python3-fitz)
# Pictures on pages: JPEG (libjpeg-turbo's TurboJPEG), JPEG 2000 (OpenJPEG),
# JBIG2 (jbig2dec) and CCITT fax (libtiff's codec) decode the images a page
# draws, and Tesseract with its English and Simplified Chinese models reads
# their text.
IMAGE_PACKAGES=(libturbojpeg0-dev libopenjp2-7-dev libjbig2dec0-dev libtiff-dev)
OCR_PACKAGES=(libtesseract-dev tesseract-ocr-eng tesseract-ocr-chi-sim)
BUILD_PACKAGES+=("${IMAGE_PACKAGES[@]}" "${OCR_PACKAGES[@]}")
# The tesseract command (the benchmark's yardstick) and PIL, which writes the
# image fixtures.
TEST_PACKAGES+=(tesseract-ocr python3-pil)
