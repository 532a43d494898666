#!/usr/bin/env bash
# Builds Qt 6.4.2 for Windows x64 (qtbase from Debian's source package, Qt Serial Port from the
# project's dependency folder) into a cache folder, once: while the folder holds a finished build it
# is used as it is.
#   ORTEX_WIN_CACHE  the cache folder (default ~/.cache/configortex-win64)
#   ORTEX_DEPS       the folder that holds qtserialport-everywhere-src-6.4.2.tar.xz (default ../shared/deps)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cache=${ORTEX_WIN_CACHE:-$HOME/.cache/configortex-win64}
qt=$cache/qt-6.4.2
[ -f "$qt/.complete" ] && exit 0

deps=${ORTEX_DEPS:-$root/../shared/deps}
serialport=$deps/qtserialport-everywhere-src-6.4.2.tar.xz
serialport_sha256=682626d3ae07074df0f707dab880f1eab1c133a04d5bed688a3ec63af305ae89
[ -f "$serialport" ] || { echo "no $serialport: name its folder in ORTEX_DEPS" >&2; exit 1; }
echo "$serialport_sha256  $serialport" | sha256sum -c --quiet - ||
  { echo "$serialport is not Qt Serial Port 6.4.2 as tagged (sha256 differs)" >&2; exit 1; }

bash tools/install-deps.sh windows
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
# qtbase's source comes from Debian's source package; its deb-src line lives in a file of its own.
src_list=/etc/apt/sources.list.d/configortex-bookworm-src.sources
if [ ! -f "$src_list" ]; then
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
    $SUDO tee "$src_list" >/dev/null
  $SUDO apt-get update
fi

work=$cache/work
rm -rf "$work" "$qt"
mkdir -p "$work"
cd "$work"
apt-get source --download-only qt6-base
tar -xf qt6-base_6.4.2*.orig.tar.*
qtbase_version=$(sed -n 's/^Version: //p' qt6-base_*.dsc)
src=$(find . -maxdepth 1 -type d -name 'qtbase*' | head -1)
jobs=$(nproc)
toolchain=$root/packaging/windows/mingw-w64.cmake

cmake -S "$src" -B qtbase-build -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DCMAKE_INSTALL_PREFIX="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DINPUT_opengl=no -DFEATURE_opengl=OFF \
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_icu=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
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
