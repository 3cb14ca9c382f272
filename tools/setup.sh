#!/usr/bin/env bash
# Installs what the build (and, with --test, the test suite) needs, then
# configures and builds into build/. Safe to run again: only missing packages
# are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

# poppler-data holds the character maps and CID-to-Unicode tables of CJK text
# in fonts that are not embedded; the core only recommends it.
build_pkgs=(build-essential cmake pkg-config libpoppler-private-dev libpoppler-dev poppler-data libjpeg-dev
            libfontconfig-dev libfreetype-dev libfribidi-dev libgtest-dev googletest libwxgtk3.2-dev
            libx11-dev fonts-dejavu-core fonts-liberation python3 xdg-utils)
test_pkgs=(python3-xlrd python3-olefile qpdf poppler-utils xvfb xauth
           libreoffice-calc-nogui gnumeric locales)

pkgs=("${build_pkgs[@]}")
[ "${1:-}" = "--test" ] && pkgs+=("${test_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
