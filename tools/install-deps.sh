#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine (as root, or through sudo); with the
# argument "windows", also what the Windows build needs.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libqt6test6 libgtest-dev
          fonts-dejavu-core fonts-liberation2 qt6-translations-l10n desktop-file-utils appstream poppler-utils xvfb
          xauth dbus at-spi2-core libxcb1-dev clang libclang-rt-dev lintian tshark)
# The Windows build: the cross compiler, Debian's source of qtbase, wine to run it, the installer and
# its signing; the program's icon drawn from its picture; for checking the deliverables under wine,
# the screen's picture and reading its Russian texts back.
[ "${1:-}" = windows ] && packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools dpkg-dev ninja-build
                                      xz-utils wine wine64 nsis zip unzip librsvg2-bin icoutils osslsigncode openssl
                                      x11-utils imagemagick tesseract-ocr tesseract-ocr-rus)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
