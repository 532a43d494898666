#!/usr/bin/env bash
# The program for 64-bit Windows, cross-built on Debian, and its two deliverables in build-windows/:
#   ConfigOrtex-<version>-win64.zip   the portable folder, which runs from anywhere (a USB stick)
#   ConfigOrtex-<version>-setup.exe   the installer (Russian, for every user or for one, with an uninstaller)
# Installs what is missing (tools/install-deps.sh windows), builds Qt for Windows into its cache folder
# once (tools/windows-qt.sh; ORTEX_WIN_CACHE names the folder, default ~/.cache/configortex-win64),
# cross-builds the program, runs the Windows tests under wine (tools/windows-test.sh), makes both files
# (tools/windows-package.sh; signed where ORTEX_SIGN_PKCS12 and ORTEX_SIGN_PASSWORD_FILE name a
# certificate and its password), checks them under wine (tools/windows-package-check.sh) and checks
# signing with a throwaway certificate (tools/windows-sign-check.sh). Nothing of its wine runs may land
# in the home folder: it fails where a file written there since it started names one of this build's
# prefixes (a menu entry or icon of wine's menu builder, which every run turns off).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
stage() { echo "== windows: $1 ($((SECONDS - started)) s)"; }
mkdir -p build-windows
since=build-windows/.started
touch "$since"

bash tools/install-deps.sh windows
stage "Qt for Windows"
bash tools/windows-qt.sh
qt=$(bash tools/windows-qt.sh --prefix)
stage "Qt for Windows in $qt"

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
stage "signing with a throwaway certificate"
bash tools/windows-sign-check.sh
share=${XDG_DATA_HOME:-$HOME/.local/share}
left=$(find "$share" -type f -newer "$since" -exec grep -lsF "$PWD/build-windows" {} + 2>/dev/null || true)
if [ -n "$left" ]; then
  echo "windows: files in $share name this build's wine prefixes:" >&2
  echo "$left" >&2
  exit 1
fi
stage "done"
