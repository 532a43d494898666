#!/usr/bin/env bash
# The program for 64-bit Windows, cross-built on Debian, and its two deliverables in build-windows/:
#   ConfigOrtex-<version>-win64.zip   the portable folder, which runs from anywhere (a USB stick)
#   ConfigOrtex-<version>-setup.exe   the installer (Russian, per machine, with an uninstaller)
# Installs what is missing (tools/install-deps.sh windows), builds Qt for Windows into its cache folder
# once (tools/windows-qt.sh; ORTEX_WIN_CACHE names the folder, default ~/.cache/configortex-win64),
# cross-builds the program, runs the Windows tests under wine (tools/windows-test.sh), makes both files
# (tools/windows-package.sh) and checks them under wine (tools/windows-package-check.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
qt=${ORTEX_WIN_CACHE:-$HOME/.cache/configortex-win64}/qt-6.4.2
started=$SECONDS
stage() { echo "== windows: $1 ($((SECONDS - started)) s)"; }

bash tools/install-deps.sh windows
stage "Qt for Windows in $qt"
bash tools/windows-qt.sh

stage "ConfigOrtex.exe and its tests"
"$qt/bin/qt-cmake" -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build-windows -j"$(nproc)"

if [ -f tools/windows-test.sh ]; then
  stage "tests under wine"
  bash tools/windows-test.sh
fi

stage "portable folder, zip and installer"
bash tools/windows-package.sh
stage "checks under wine"
bash tools/windows-package-check.sh
stage "done"
