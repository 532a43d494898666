#!/usr/bin/env bash
# Builds Qt 6.4.2 for Windows x64 (qtbase from Debian's source package with its patches, Qt Serial
# Port from packaging/windows/deps) into a cache folder named after what the build depends on:
#   qt-6.4.2-<key>, key = sha256 of packaging/windows/qt-configure.cmake (Qt's options), the
#   toolchain file, the cross compiler's version and the version of qtbase's source package.
# While that folder holds a finished build it is used as it is; a change of any of the four builds
# Qt anew in a folder of its own. Where the deps folder holds qt-6.4.2-win64-<key>.tar.xz (made by
# --archive from a finished build), it is unpacked instead of building.
#   tools/windows-qt.sh               builds (or unpacks) Qt where needed
#   tools/windows-qt.sh --prefix      prints the folder of Qt for the current key, and does nothing else
#   tools/windows-qt.sh --archive DIR writes DIR/qt-6.4.2-win64-<key>.tar.xz from the finished build
#   ORTEX_WIN_CACHE  the cache folder (default ~/.cache/configortex-win64)
#   ORTEX_DEPS       a folder of finished builds and of qtserialport-everywhere-src-6.4.2.tar.xz
#                    (default ../shared/deps; the project's own copy of Qt Serial Port serves otherwise)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cache=${ORTEX_WIN_CACHE:-$HOME/.cache/configortex-win64}
deps=${ORTEX_DEPS:-$root/../shared/deps}
options=$root/packaging/windows/qt-configure.cmake
toolchain=$root/packaging/windows/mingw-w64.cmake
compiler=x86_64-w64-mingw32-g++-posix
fail() { echo "windows-qt: $*" >&2; exit 1; }

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
# qtbase's source comes from Debian's source package; its deb-src line lives in a file of its own.
src_list=/etc/apt/sources.list.d/configortex-bookworm-src.sources
if [ ! -f "$src_list" ] && [ "${1:-}" != --prefix ]; then
  bash tools/install-deps.sh windows
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
    $SUDO tee "$src_list" >/dev/null
  $SUDO apt-get update
fi
qtbase_version=$(apt-cache showsrc qt6-base 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -1)
[ -n "$qtbase_version" ] || fail "apt knows no source of qt6-base: run bash tools/windows-qt.sh once"
command -v $compiler >/dev/null || fail "no $compiler: bash tools/install-deps.sh windows"
key=$( { sha256sum <"$options"; sha256sum <"$toolchain"; $compiler --version | head -1
         dpkg-query -W -f='${Version}\n' g++-mingw-w64-x86-64-posix; echo "$qtbase_version"; } |
       sha256sum | cut -c1-16)
qt=$cache/qt-6.4.2-$key
archive_name=qt-6.4.2-win64-$key.tar.xz

# Qt's CMake files name the toolchain file the build was configured with: this clone's, wherever the
# build was made (its content is part of the key).
point_at_toolchain() {
  sed -i "s|^set(__qt_initially_configured_toolchain_file \".*\")|set(__qt_initially_configured_toolchain_file \"$toolchain\")|" \
    "$qt/lib/cmake/Qt6/qt.toolchain.cmake"
}

case ${1:-} in
  --prefix) echo "$qt"; exit 0 ;;
  --archive)
    [ -n "${2:-}" ] || fail "--archive needs the folder to write $archive_name into"
    [ -f "$qt/.complete" ] || fail "no finished build in $qt"
    mkdir -p "$2"
    tar -C "$cache" -cf - "$(basename "$qt")" | xz -T0 -6 >"$2/$archive_name.part"
    mv "$2/$archive_name.part" "$2/$archive_name"
    echo "$2/$archive_name"
    exit 0 ;;
  "") ;;
  *) fail "unknown option $1" ;;
esac
if [ -f "$qt/.complete" ]; then point_at_toolchain; exit 0; fi

mkdir -p "$cache"
if [ -f "$deps/$archive_name" ]; then
  echo "windows-qt: unpacking $deps/$archive_name"
  rm -rf "$qt"
  tar -C "$cache" -xJf "$deps/$archive_name"
  [ -f "$qt/.complete" ] || fail "$deps/$archive_name holds no finished build of $(basename "$qt")"
  point_at_toolchain
  exit 0
fi

serialport=$root/packaging/windows/deps/qtserialport-everywhere-src-6.4.2.tar.xz
[ -f "$deps/$(basename "$serialport")" ] && serialport=$deps/$(basename "$serialport")
serialport_sha256=682626d3ae07074df0f707dab880f1eab1c133a04d5bed688a3ec63af305ae89
echo "$serialport_sha256  $serialport" | sha256sum -c --quiet - ||
  fail "$serialport is not Qt Serial Port 6.4.2 as tagged (sha256 differs)"

bash tools/install-deps.sh windows
work=$cache/work
rm -rf "$work" "$qt"
mkdir -p "$work"
cd "$work"
apt-get source --download-only "qt6-base=$qtbase_version"
# dpkg-source applies the source package's patch series (security fixes among them). Taken back out,
# as they do not fit a cross build for Windows:
#   cross.patch  keeps pkg-config on while cross-compiling, for Debian's multiarch cross builds; here
#                pkg-config knows only the Linux host's libraries, which a Windows build must not find.
skipped_patches=(cross.patch)
dpkg-source -x qt6-base_*.dsc qtbase
for patch in "${skipped_patches[@]}"; do
  patch -d qtbase -R -p1 --quiet <"qtbase/debian/patches/$patch" || fail "$patch does not come back out"
done
jobs=$(nproc)

cmake -S qtbase -B qtbase-build -G Ninja -Wno-dev -C "$options" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
cmake --build qtbase-build -j"$jobs"
cmake --install qtbase-build

tar -xf "$serialport"
"$qt/bin/qt-cmake" -S qtserialport-everywhere-src-6.4.2 -B serialport-build -G Ninja -Wno-dev \
  -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
cmake --build serialport-build -j"$jobs"
cmake --install serialport-build

cd "$cache"
rm -rf "$work"
# The mark of a finished build names the source package's version, for the licence notice.
echo "$qtbase_version" >"$qt/.complete"
