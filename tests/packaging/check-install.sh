#!/usr/bin/env bash
# Builds the .deb packages with cpack and checks them as Debian and a desktop see them: lintian
# accepts both without an error or a warning; the desktop entry and the AppStream description
# validate; the program is stripped and configortex-dbg holds its debug symbols under its build id;
# the dependencies name the package of every library the program links, of its window font and of
# Qt's Russian texts.
# Exits 77 (skipped) when a checking tool is missing, after every check it could make.
set -uo pipefail
build=${1:?build folder}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
skipped=()
fail() { echo "FAIL: $*"; failed=1; }

command -v dpkg-deb >/dev/null || { echo "SKIPPED: not installed: dpkg-deb"; exit 77; }
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(echo "$work"/configortex_*.deb)
dbg=$(echo "$work"/configortex-dbg_*.deb)
[ -f "$deb" ] && [ -f "$dbg" ] || { ls "$work"; echo "FAIL: cpack made no configortex and configortex-dbg"; exit 1; }
root=$work/root
dpkg-deb -x "$deb" "$root" && dpkg-deb -x "$dbg" "$work/dbg" || { echo "FAIL: dpkg-deb -x"; exit 1; }

prefix=$root/usr
desktop=$prefix/share/applications/configortex.desktop
metainfo=$prefix/share/metainfo/io.github.configortex.configortex.metainfo.xml
binary=$prefix/bin/ConfigOrtex
for f in "$binary" "$desktop" "$metainfo" "$prefix/share/icons/hicolor/scalable/apps/configortex.svg"; do
  [ -f "$f" ] || fail "not in the package: ${f#"$root"}"
done

if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" "$dbg" || fail "lintian"
else
  skipped+=(lintian)
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
else
  skipped+=(desktop-file-validate)
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
else
  skipped+=(appstreamcli)
fi

if command -v readelf >/dev/null; then
  readelf -S "$binary" | grep -q '\.debug_info' && fail "the packaged binary keeps its debug sections"
  id=$(readelf -n "$binary" | awk '/Build ID:/ {print $3}')
  symbols=$work/dbg/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug
  [ -n "$id" ] && readelf -S "$symbols" 2>/dev/null | grep -q '\.debug_info' ||
    fail "configortex-dbg holds no debug symbols for build id ${id:-(none)}"
else
  skipped+=(readelf)
fi

# The package's dependencies as written in the .deb.
depends=$(dpkg-deb -f "$deb" Depends)
named() {
  local entry
  while read -r entry; do
    [ "${entry%% *}" = "$1" ] && return 0
  done < <(echo "$depends" | tr ',' '\n' | sed 's/^ *//')
  return 1
}
if command -v ldd >/dev/null && command -v objdump >/dev/null; then
  # The package that holds a file, under its own name or, on a merged /usr, under /lib.
  owner() {
    local path
    for path in "$1" "$(readlink -f "$1")" "${1#/usr}" "$(readlink -f "$1" | sed 's#^/usr##')"; do
      dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1 | grep . && return
    done
  }
  for lib in $(objdump -p "$binary" | awk '/NEEDED/ {print $2}'); do
    path=$(ldd "$binary" | awk -v lib="$lib" '$1 == lib {print $3}')
    package=$(owner "$path")
    [ -n "$package" ] || { fail "no package holds $lib ($path)"; continue; }
    named "$package" || fail "$lib comes from $package, which the package does not depend on"
  done
  translations=$(qtpaths6 --query QT_INSTALL_TRANSLATIONS 2>/dev/null || echo /usr/share/qt6/translations)
  for file in "$translations/qtbase_ru.qm" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf; do
    package=$(owner "$file")
    if [ -z "$package" ]; then fail "no package holds $file"; continue; fi
    named "$package" || fail "$file comes from $package, which the package does not depend on"
  done
else
  skipped+=(binutils)
fi

[ $failed -eq 0 ] || exit 1
if [ ${#skipped[@]} -gt 0 ]; then
  echo "SKIPPED: not installed: ${skipped[*]}"
  exit 77
fi
echo "lintian, the desktop entry, the AppStream description, the debug symbols and the dependencies check out"
