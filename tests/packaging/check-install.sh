#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a package manager see:
# the desktop entry, the AppStream description, the icon, and that the package's dependencies name
# the package of every library the program links, of its window font and of Qt's Russian texts.
# Exits 77 (skipped) when a checking tool is missing, after every check it could make.
set -uo pipefail
build=${1:?build folder}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failed=0
skipped=()
fail() { echo "FAIL: $*"; failed=1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
desktop=$prefix/share/applications/configortex.desktop
metainfo=$prefix/share/metainfo/io.github.configortex.configortex.metainfo.xml
for f in "$prefix/bin/ConfigOrtex" "$desktop" "$metainfo" \
         "$prefix/share/icons/hicolor/scalable/apps/configortex.svg"; do
  [ -f "$f" ] || fail "not installed: ${f#"$prefix"/}"
done

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

# The package's dependencies, as CPack will write them.
depends=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_DEPENDS "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$depends" ] || fail "no package dependencies in $build/CPackConfig.cmake"
named() {
  local entry
  while read -r entry; do
    [ "${entry%% *}" = "$1" ] && return 0
  done < <(echo "$depends" | tr ',' '\n' | sed 's/^ *//')
  return 1
}
if command -v dpkg >/dev/null && command -v ldd >/dev/null && command -v objdump >/dev/null; then
  # The package that holds a file, under its own name or, on a merged /usr, under /lib.
  owner() {
    local path
    for path in "$1" "$(readlink -f "$1")" "${1#/usr}" "$(readlink -f "$1" | sed 's#^/usr##')"; do
      dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1 | grep . && return
    done
  }
  binary=$prefix/bin/ConfigOrtex
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
  skipped+=(dpkg)
fi

[ $failed -eq 0 ] || exit 1
if [ ${#skipped[@]} -gt 0 ]; then
  echo "SKIPPED: not installed: ${skipped[*]}"
  exit 77
fi
echo "installed files, desktop entry, AppStream description and package dependencies check out"
