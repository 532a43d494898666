#!/usr/bin/env bash
# Makes the two Windows deliverables from the cross-built program in build-windows/:
#   ConfigOrtex-<version>-win64/      the portable folder: the program, the DLLs it needs and nothing
#   ConfigOrtex-<version>-win64.zip   else, Qt's Russian texts, qt.conf, the licences, the dissector
#   ConfigOrtex-<version>-setup.exe   the installer of that folder (packaging/windows/ConfigOrtex.nsi)
# The DLLs are those the program and its two plugins import, followed through every DLL they import
# in turn. A DLL found in the Windows build of Qt or beside the cross compiler goes into the folder; one
# of Windows' own DLLs (the list below) stays out; any other stops the script.
#   ORTEX_WIN_CACHE          the cache folder of the Windows build of Qt (tools/windows-qt.sh)
#   ORTEX_PACKAGE_OUT        the folder for the three (default build-windows)
#   ORTEX_SIGN_PKCS12        a code-signing certificate with its key (PKCS#12): the program, the
#   ORTEX_SIGN_PASSWORD_FILE installer and its uninstaller are signed with it (osslsigncode), with the
#                            password the file holds; without them nothing is signed
# With --zip-only it makes the folder and the zip, not the installer. One commit gives the same zip
# bytes at every build: the files carry the commit's time, in their headers (strip writes
# SOURCE_DATE_EPOCH there, not the time of the build) and in the zip, which lists them in one order.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-windows
out=$(realpath -m "${ORTEX_PACKAGE_OUT:-$build}")
qt=$(bash tools/windows-qt.sh --prefix)
triple=x86_64-w64-mingw32
compiler=$triple-g++-posix
fail() { echo "windows-package: $*" >&2; exit 1; }
# Windows' own DLLs that the program, Qt and the compiler's runtime import: they stay out of the
# folder. A new one is added here once it is known to come with every Windows 10 1809 and later.
windows_dlls=(advapi32 authz comdlg32 d3d9 d3d11 dwmapi dxgi gdi32 imm32 kernel32 mpr msvcrt netapi32
              ole32 oleaut32 setupapi shcore shell32 shlwapi user32 userenv uxtheme version winmm ws2_32
              wtsapi32 api-ms-win-core-synch-l1-2-0 api-ms-win-core-winrt-l1-1-0
              api-ms-win-core-winrt-string-l1-1-0)
sign=()
if [ -n "${ORTEX_SIGN_PKCS12:-}" ]; then
  [ -f "$ORTEX_SIGN_PKCS12" ] || fail "no certificate $ORTEX_SIGN_PKCS12 (ORTEX_SIGN_PKCS12)"
  [ -f "${ORTEX_SIGN_PASSWORD_FILE:-}" ] || fail "ORTEX_SIGN_PASSWORD_FILE names no file with the certificate's password"
  command -v osslsigncode >/dev/null || fail "no osslsigncode (bash tools/install-deps.sh windows)"
  sign=(bash "$root/tools/windows-sign.sh")
fi

version=$(sed -n 's/^project(ConfigOrtex VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
major=${version%%.*}
minor=$((10#${version#*.}))
program=$build/ConfigOrtex.exe
icon=$build/windows/configortex.ico
[ -f "$program" ] || fail "no $program: build it first (bash tools/windows.sh)"
[ -f "$icon" ] || fail "no $icon (made with the program by packaging/windows/resources.cmake)"
[ -f "$qt/.complete" ] || fail "no finished Windows build of Qt in $qt (bash tools/windows-qt.sh)"

zip_only=0
[ "${1:-}" = --zip-only ] && zip_only=1
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH=$stamp

name=ConfigOrtex-$version-win64
folder=$out/$name
rm -rf "$folder" "$out/$name.zip" "$out/ConfigOrtex-$version-setup.exe"
mkdir -p "$folder"/{platforms,styles,translations,licenses,wireshark,fonts}

# Symbols only make the files larger: the DLLs keep what they export.
$triple-strip -o "$folder/ConfigOrtex.exe" "$program"
[ ${#sign[@]} -eq 0 ] || "${sign[@]}" "$folder/ConfigOrtex.exe"
$triple-strip --strip-unneeded -o "$folder/platforms/qwindows.dll" "$qt/plugins/platforms/qwindows.dll"
$triple-strip --strip-unneeded -o "$folder/styles/qwindowsvistastyle.dll" \
  "$qt/plugins/styles/qwindowsvistastyle.dll"

imports() { $triple-objdump -p "$1" | sed -n 's/^\s*DLL Name: \(.*\)$/\1/p' | tr -d '\r'; }
# Where a DLL comes from: the Windows build of Qt, the compiler's own folders, or Windows itself.
origin() {
  local dll=$1 lower found
  if [ -f "$qt/bin/$dll" ]; then echo "$qt/bin/$dll"; return; fi
  found=$($compiler -print-file-name="$dll")
  if [ "$found" != "$dll" ] && [ -f "$found" ]; then realpath "$found"; return; fi
  lower=$(tr '[:upper:]' '[:lower:]' <<<"${dll%.*}")
  for known in "${windows_dlls[@]}"; do [ "$lower" = "$known" ] && { echo windows; return; }; done
  echo missing
}
declare -A seen=()
queue=("$folder/ConfigOrtex.exe" "$folder/platforms/qwindows.dll" "$folder/styles/qwindowsvistastyle.dll")
bundled=()
while [ ${#queue[@]} -gt 0 ]; do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  for dll in $(imports "$file"); do
    key=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    from=$(origin "$dll")
    case $from in
      windows) ;;
      missing) fail "$dll, which $(basename "$file") imports, is neither in $qt/bin, nor beside $compiler, nor in the list of Windows' own DLLs" ;;
      *)
        $triple-strip --strip-unneeded -o "$folder/$dll" "$from"
        bundled+=("$dll")
        queue+=("$folder/$dll")
        ;;
    esac
  done
done
echo "DLLs: ${bundled[*]}"

translations=/usr/share/qt6/translations/qtbase_ru.qm
[ -f "$translations" ] || fail "no $translations (Debian package qt6-translations-l10n)"
cp "$translations" "$folder/translations/"
cp packaging/windows/qt.conf "$folder/"
cp journal/ortex.lua "$folder/wireshark/"
# The PDF report's face, which Windows does not have; the program loads it from its folder.
for face in DejaVuSans DejaVuSans-Bold; do
  [ -f "/usr/share/fonts/truetype/dejavu/$face.ttf" ] || fail "no $face.ttf (Debian package fonts-dejavu-core)"
  cp "/usr/share/fonts/truetype/dejavu/$face.ttf" "$folder/fonts/"
done

# The licences: the program's, then those of what is bundled with it, with where their sources are.
crlf() { sed 's/\r\?$/\r/' "$1" >"$2"; }
crlf LICENSE "$folder/LICENSE.txt"
# qtbase's source is the version of Debian's source package that tools/windows-qt.sh built (it
# names it in its mark of a finished build; a cache made before that: the newest apt knows); the
# others are those of the installed packages the files come from.
qtbase_version=$(head -1 "$qt/.complete" 2>/dev/null || true)
[ -n "$qtbase_version" ] ||
  qtbase_version=$(apt-cache showsrc qt6-base 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -1)
[ -n "$qtbase_version" ] || fail "apt-cache knows no source of qt6-base (its deb-src line is added by tools/windows-qt.sh)"
source_version() { dpkg-query -W -f='${source:Version}' "$1"; }
sed -e "s/@VERSION@/$version/g" -e "s/@QTBASE_VERSION@/$qtbase_version/g" \
    -e "s/@QTTRANSLATIONS_VERSION@/$(source_version qt6-translations-l10n)/g" \
    -e "s/@GCC_MINGW_VERSION@/$(source_version gcc-mingw-w64-base)/g" \
    -e "s/@MINGW_VERSION@/$(source_version mingw-w64-common)/g" \
    -e "s/@DEJAVU_VERSION@/$(source_version fonts-dejavu-core)/g" packaging/windows/licenses.txt |
  sed 's/\r\?$/\r/' >"$folder/licenses/README.txt"
for pair in /usr/share/common-licenses/LGPL-3:LGPL-3.0.txt /usr/share/common-licenses/GPL-3:GPL-3.0.txt \
            /usr/share/doc/libqt6core6/copyright:qtbase-copyright.txt \
            /usr/share/doc/libqt6serialport6/copyright:qtserialport-copyright.txt \
            /usr/share/doc/qt6-translations-l10n/copyright:qttranslations-copyright.txt \
            /usr/share/doc/gcc-mingw-w64-base/copyright:gcc-runtime-copyright.txt \
            /usr/share/doc/mingw-w64-common/copyright:mingw-w64-copyright.txt \
            /usr/share/doc/fonts-dejavu-core/copyright:dejavu-fonts-copyright.txt; do
  [ -f "${pair%%:*}" ] || fail "no ${pair%%:*}"
  crlf "${pair%%:*}" "$folder/licenses/${pair#*:}"
done

find "$folder" -exec touch -h -d "@$stamp" {} +
(cd "$out" && find "$name" -print | LC_ALL=C sort | zip -q -X -9 "$name.zip" -@)
[ $zip_only = 0 ] || exit 0

# The installer: every file of the folder is installed, and removed by the uninstaller; one that could
# not be written or removed goes into the report (the macro Checked of the installer's script).
files=$out/files.nsh
{
  echo '!macro InstallFiles'
  (cd "$folder" && find . -type d | LC_ALL=C sort) | while read -r dir; do
    sub=${dir#.}
    echo "  SetOutPath \"\$INSTDIR${sub//\//\\}\""
    (cd "$folder/$dir" && find . -maxdepth 1 -type f | LC_ALL=C sort) | while read -r file; do
      echo "  File \"$folder${sub}/${file#./}\""
      echo "  !insertmacro Checked \"\$OUTDIR\\${file#./}\""
    done
  done
  echo '!macroend'
  echo '!macro UninstallFiles'
  (cd "$folder" && find . -type f | LC_ALL=C sort) | while read -r file; do
    rel=${file#./}
    echo "  Delete \"\$INSTDIR\\${rel//\//\\}\""
    echo "  !insertmacro Checked \"\$INSTDIR\\${rel//\//\\}\""
  done
  (cd "$folder" && find . -mindepth 1 -type d | LC_ALL=C sort -r) | while read -r dir; do
    rel=${dir#./}
    echo "  RMDir \"\$INSTDIR\\${rel//\//\\}\""
  done
  echo '!macroend'
} >"$files"
setup=$out/ConfigOrtex-$version-setup.exe
# makensis runs the signing command through the shell, for the installer and for the uninstaller
# that it carries (written out at installation).
signing=()
[ ${#sign[@]} -eq 0 ] || signing=("-DSIGN=${sign[*]}")
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILE_VERSION="$major.$minor.0.0" -DFILES="$files" \
  -DICON="$icon" -DOUTFILE="$setup" "${signing[@]}" packaging/windows/ConfigOrtex.nsi

size() { du -s --apparent-size --block-size=1K "$1" | cut -f1; }
printf 'portable folder %s KiB, zip %s KiB, installer %s KiB\n' "$(size "$folder")" \
  "$(size "$out/$name.zip")" "$(size "$setup")"
