#!/usr/bin/env bash
# Checks the Windows deliverables that tools/windows-package.sh made in build-windows/, under wine on
# an X server of its own, each in a fresh wine prefix with nothing else installed:
#   program    ConfigOrtex.exe carries its icon as IDI_ICON1 (the windows' icon) and its manifest;
#   zip        made again from the same build (its files stripped again), it has the same bytes;
#   portable   the zip unpacked onto a drive of its own (a USB stick): the program starts, its main
#              window is "Конфигуратор Ортекс V2.04" with readable Russian captions, and it loads Qt's
#              Russian texts and the report's face from the folder;
#   installer  refused by a Windows older than 10 1809; "setup.exe /S" installs into Program Files:
#              every file, the Start menu shortcut, the uninstall entry and the .okf file type;
#              opening an .okf file starts the program with it; while it runs, the installer and the
#              uninstaller refuse (exit code 3) and change nothing; "uninstall.exe /S" then leaves the
#              prefix's files and registry as they were;
#              A program of a release older than the mutex running from the folder stops them too;
#   upgrade    where another program owns .okf (and the user chose one), an older build that had one
#              more file is installed, then this one: exactly this one's files are there, the type
#              stays the other program's, and uninstalling leaves the files and registry as before;
#   per user   "setup.exe /S /CurrentUser" installs into the user's %LOCALAPPDATA%\Programs with the
#              user's shortcut, uninstall entry and file type, leaves HKLM as it was, and its
#              uninstaller leaves the prefix as before.
# Every failure stops the script with the reason. Pictures and logs stay in build-windows/package-check/;
# the main window of the portable run is main-window.png there.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${ORTEX_CHECK_X:-}" ]; then
  exec env ORTEX_CHECK_X=1 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
root=$PWD
build=$root/build-windows
version=$(sed -n 's/^project(ConfigOrtex VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
title=$(sed -n 's/.*setWindowTitle(QStringLiteral("\(.*\)"));.*/\1/p' app/MainForm.cpp)
zip=$build/ConfigOrtex-$version-win64.zip
setup=$build/ConfigOrtex-$version-setup.exe
work=$build/package-check
fail() { echo "windows-package-check: FAILED: $*" >&2; exit 1; }
step() { echo "windows-package-check: $*"; }
[ -n "$title" ] || fail "no window title in app/MainForm.cpp"
[ -f "$zip" ] && [ -f "$setup" ] || fail "no $zip or $setup (bash tools/windows-package.sh)"
rm -rf "$work"
mkdir -p "$work"

# --- the program's resources ---------------------------------------------------------------------
exe=$(unzip -Z1 "$zip" | grep '/ConfigOrtex.exe$')
unzip -q -o "$zip" "$exe" -d "$work"
resources=$(wrestool -l "$work/$exe")
manifest=$(wrestool -x --raw --type=24 --name=1 "$work/$exe" 2>/dev/null || true)
for expected in "resources:--type=14 --name='IDI_ICON1'" 'manifest:level="asInvoker"' \
                'manifest:<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' \
                'manifest:>PerMonitorV2</dpiAwareness>' 'manifest:>true</longPathAware>'; do
  where=${expected%%:*}
  grep -qF -- "${expected#*:}" <<<"${!where}" || fail "program: no ${expected#*:} in its $where"
done
rm -r "${work:?}/${exe%%/*}"
# The installer asks for no rights: only the choice of every user does.
wrestool -x --raw --type=24 "$setup" 2>/dev/null | grep -qF 'level="asInvoker"' ||
  fail "installer: its manifest does not run it with the user's rights (asInvoker)"
step "program: icon IDI_ICON1 and manifest (asInvoker, Windows 10/11, per-monitor DPI v2, long paths) in place; installer asInvoker"

# --- the zip, made again from the same build ------------------------------------------------------
ORTEX_PACKAGE_OUT=$work/again bash tools/windows-package.sh --zip-only >/dev/null
cmp "$zip" "$work/again/$(basename "$zip")" || fail "zip: made again from the same build, it differs"
rm -r "$work/again"
step "zip: made again from the same build, byte for byte the same"

export WINEARCH=win64 WINEDEBUG=-all
# No offer to download Mono or Gecko into the fresh prefix: the program needs neither. No menu entries
# or icons for what is installed land in the home folder (wine's menu builder would write them there).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C.UTF-8

fresh_prefix() {
  export WINEPREFIX=$work/$1
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # Without a window manager wine draws the windows' frames and captions itself, as Windows does.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
  # Wine plays Windows 7 by default, which the installer refuses.
  windows_version win10
}
windows_version() { wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null; }
stop_wine() { wineserver -k 2>/dev/null || true; wineserver -w; }
# A failed check leaves no program of the prefix running (a message box waiting for a click).
trap '[ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null' EXIT

# The id of the top-level X window whose name is $1, empty while there is none.
window_id() {
  xwininfo -root -children -int 2>/dev/null | sed -n "s/^ *\([0-9]\+\) \"$1\".*/\1/p" | head -1
}
wait_for_window() {
  local id
  for _ in $(seq 120); do
    id=$(window_id "$1")
    if [ -n "$id" ] && [[ $(xwininfo -id "$id") == *'Map State: IsViewable'* ]]; then echo "$id"; return; fi
    sleep 1
  done
}
# The picture of window $1 into $2, and the words it shows as OCR reads them (Russian and English),
# enlarged three ways: a narrow 8-point face reads well at one size and badly at another, while letters
# drawn as boxes read at none. Each reading goes to $2.<scale>.txt; all of them are printed.
shot_and_read() {
  local id=$1 png=$2
  sleep 3 # the first paint and its flush to the screen
  import -window "$id" "$png"
  for scale in 200 300 400; do
    convert "$png" -resize "$scale%" -colorspace Gray "$png.ocr.png"
    tesseract "$png.ocr.png" - -l rus+eng 2>/dev/null >"$png.$scale.txt"
  done
  rm "$png.ocr.png"
  cat "$png".*.txt
}
expect_words() {
  local text=$1 where=$2
  shift 2
  for word in "$@"; do
    grep -qF -- "$word" <<<"$text" || fail "$where: \"$word\" not readable in the window (OCR read: $(tr '\n' ' ' <<<"$text"))"
  done
}

# --- the portable folder, unpacked onto drive E: -------------------------------------------------
step "portable: a fresh prefix"
fresh_prefix portable-prefix
stick=$work/stick
mkdir -p "$stick"
unzip -q "$zip" -d "$stick"
ln -s "$stick" "$WINEPREFIX/dosdevices/e:"
folder_name=ConfigOrtex-$version-win64
step "portable: starting E:\\$folder_name\\ConfigOrtex.exe"
# The file trace shows which files the program opens: Qt's Russian texts must come from the folder.
WINEDEBUG=trace+file wine "E:\\$folder_name\\ConfigOrtex.exe" >"$work/portable.log" 2>&1 &
id=$(wait_for_window "$title")
[ -n "$id" ] || { tail -20 "$work/portable.log" >&2; fail "portable: no window \"$title\" within 120 s"; }
text=$(shot_and_read "$id" "$work/main-window.png")
# The title is the window's name on the X server (wait_for_window); the program's own captions must
# read back from the picture: boxes instead of letters would not.
expect_words "$text" portable "Файл" "Сервис" "Текущий расширитель" "Записать в расширитель" "Код доступа" \
  "Общие свойства" "Глобальные разделы" "Пользователи"
# Qt opens a file only once it found it readable; the trace doubles every backslash.
grep 'CreateFileW L"' "$work/portable.log" >"$work/portable-opened.log" || true
for file in translations\\\\qtbase_ru.qm fonts\\\\DejaVuSans.ttf fonts\\\\DejaVuSans-Bold.ttf; do
  grep -qF 'E:\\'"$folder_name"'\\'"$file"'" GENERIC_READ' "$work/portable-opened.log" ||
    fail "portable: the program did not open $file from its folder (trace in $work/portable.log)"
done
stop_wine
step "portable: main window \"$title\" shown, Russian captions read back, Qt's Russian texts and the report's face loaded"

# --- the installer -------------------------------------------------------------------------------
step "installer: a fresh prefix"
fresh_prefix installer-prefix
drive_c=$WINEPREFIX/drive_c
# What the prefix holds: its files, and the registry as reg exports it (UTF-16 to UTF-8). The
# temporary folders are left out: the uninstaller runs from a copy of itself there, and that copy's
# empty folder stays until the system cleans its temporary files.
snapshot() {
  (cd "$drive_c" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune \
     -o -print | LC_ALL=C sort) >"$work/$1.files"
  : >"$work/$1.reg"
  # Wine registers its display driver anew each time it starts, under a new key and date, and counts
  # its service manager's starts (ServiceCurrent). The display's keys are volatile: a run of wine that
  # shows no window (reg, a silent uninstaller) has none of them. HKLM\Hardware is the system's view of
  # the devices (the serial ports of HARDWARE\DEVICEMAP\SERIALCOMM come and go with the machine's).
  for key in HKLM HKCU HKCR; do
    wine reg export "$key" "$work/$1.$key.reg" /reg:64 /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$work/$1.$key.reg" | tr -d '\r' |
      awk '/^\[/ { left_out = index($0, "\\Control\\Video") > 0 || index($0, "\\Control\\ServiceCurrent]") > 0 ||
                         index($0, "\\Control\\DeviceClasses\\") > 0 || index($0, "\\Hardware Profiles\\") > 0 ||
                         index($0, "\\Wine\\Temporary System Parameters") > 0 ||
                         index(toupper($0), "[HKEY_LOCAL_MACHINE\\HARDWARE") == 1 }
           !left_out && !/^"DriverDateData"=/' \
      >"$work/$1.$key.txt"
    cat "$work/$1.$key.txt" >>"$work/$1.reg"
  done
}
installed=$drive_c/Program\ Files/ConfigOrtex
dir='C:\Program Files\ConfigOrtex'
# Runs $2 with the arguments after it and expects exit code $1 ("$where" names the check). wine
# waits for the program itself (not for the server: a program may run beside it).
expect_exit() {
  local code=$1
  shift
  set +e
  wine "$@"
  local got=$?
  set -e
  [ "$got" = "$code" ] || fail "$where: $(basename "${1//\\//}") $2 exited with $got, not $code"
}
expected=$( (cd "$stick/$folder_name" && find . -type f; echo ./uninstall.exe) | LC_ALL=C sort)
expect_installed() {
  local actual
  actual=$( (cd "$installed" 2>/dev/null && find . -type f) | LC_ALL=C sort)
  [ "$expected" = "$actual" ] || fail "$where: installed files differ from the portable folder:
$(diff <(echo "$expected") <(echo "$actual"))"
}

# Windows 7 as wine plays it (build 7601): the installer says it needs Windows 10 1809 and stops.
windows_version win7
where="installer on Windows 7" expect_exit 5 "$setup" /S
windows_version win10
[ ! -e "$installed" ] || fail "installer on Windows 7: it installed files"
step "installer: refused on Windows 7 (exit code 5)"

snapshot before
step "installer: $(basename "$setup") /S"
where=installer expect_exit 0 "$setup" /S
where=installer expect_installed
for file in $expected; do
  cmp -s "$stick/$folder_name/$file" "$installed/$file" || [ "$file" = ./uninstall.exe ] ||
    fail "installer: $file differs from the portable folder's"
done
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Конфигуратор Ортекс.lnk"
[ -f "$shortcut" ] || fail "installer: no Start menu shortcut $shortcut"
grep -qa "ConfigOrtex.exe" "$shortcut" || fail "installer: the shortcut does not lead to ConfigOrtex.exe"

# One value of a key: a string as it reads (reg export's quotes and escapes undone), a number as
# dword:hex; "@" is the key's default value.
reg_value() {
  local name
  [ "$2" = @ ] && name=@ || name="\"$2\""
  wine reg export "$1" "$work/value.reg" /reg:64 /y >/dev/null 2>&1 || return 0
  iconv -f UTF-16 -t UTF-8 "$work/value.reg" | tr -d '\r' |
    awk -v start="$name=" 'index($0, start) == 1 && !found { print substr($0, length(start) + 1); found = 1 }' |
    sed -e 's/^"\(.*\)"$/\1/' -e 's/\\\\/\x01/g' -e 's/\\"/"/g' -e 's/\x01/\\/g'
}
expect_value() {
  local got
  got=$(reg_value "$1" "$2")
  [ "$got" = "$3" ] || fail "${where:-installer}: $1 $2 is [$got], not [$3]"
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ConfigOrtex'
expect_value "$uninstall_key" DisplayName 'Конфигуратор Ортекс'
expect_value "$uninstall_key" DisplayVersion "$version"
expect_value "$uninstall_key" Publisher 'ConfigOrtex developers'
expect_value "$uninstall_key" InstallLocation "$dir"
expect_value "$uninstall_key" UninstallString "\"$dir\\uninstall.exe\""
expect_value "$uninstall_key" QuietUninstallString "\"$dir\\uninstall.exe\" /S"
expect_value "$uninstall_key" DisplayIcon "$dir\\ConfigOrtex.exe,0"
size=$(reg_value "$uninstall_key" EstimatedSize)
kib=$(du -s --block-size=1K --apparent-size "$installed" | cut -f1)
[[ $size == dword:* ]] && [ $((16#${size#dword:})) -ge $((kib * 9 / 10)) ] &&
  [ $((16#${size#dword:})) -le $((kib * 11 / 10)) ] || fail "installer: EstimatedSize [$size] is not about $kib KiB"
expect_value 'HKLM\Software\Classes\.okf' @ ConfigOrtex.okf
expect_value 'HKLM\Software\Classes\.okf\OpenWithProgids' ConfigOrtex.okf ''
expect_value 'HKLM\Software\Classes\ConfigOrtex.okf\shell\open\command' @ "\"$dir\\ConfigOrtex.exe\" \"%1\""
step "installer: files, shortcut, uninstall entry and .okf file type in place"

# Opening a configuration file as Explorer does (its file type's "open") starts the installed program
# with it. The file puts users 1..30 into all eight loops: the page the window opens on, "Пользователи",
# shows 240 "+" marks (about 9 pixels each) and 31 codes as "****" where the portable run's empty window
# showed nothing; the rest of the two pictures is alike.
printf '%s%s\r\n' "$(printf 'A53C%032d' 0)" "$(printf 'FF%.0s' $(seq 30))" \
  >"$drive_c/users/Public/Documents/объект.okf"
wine start 'C:\users\Public\Documents\объект.okf'
id=$(wait_for_window "$title")
[ -n "$id" ] || fail "installer: opening an .okf file showed no window \"$title\""
sleep 3
import -window "$id" "$work/opened-file.png"
changed=$(compare -metric AE "$work/main-window.png" "$work/opened-file.png" null: 2>&1 || true)
[[ $changed =~ ^[0-9]+$ ]] && [ "$changed" -ge 1000 ] ||
  fail "opened file: the window differs from the empty one in [$changed] pixels, not the 1000 or more of the file's marks"
step "installer: opening an .okf file starts the program with the file loaded"

# While the program runs, neither the installer nor the uninstaller touches a file. The uninstaller
# runs in place (_?=), so that its exit code is its own; that path must reach it unquoted, as only a
# batch file's line gives it.
where="installer while the program runs" expect_exit 3 "$setup" /S
printf '"%s\\uninstall.exe" /S _?=%s\r\nexit /b %%errorlevel%%\r\n' "$dir" "$dir" >"$drive_c/uninstall-in-place.bat"
where="uninstaller while the program runs" expect_exit 3 cmd /c 'C:\uninstall-in-place.bat' >/dev/null
where="installer and uninstaller while the program runs" expect_installed
stop_wine
step "installer: the installer and the uninstaller refuse while the program runs (exit code 3)"

# A release older than the mutex holds none: its program running from the folder is found by its file,
# which the system lets nobody open for writing while it runs.
cp "$installed/ConfigOrtex.exe" "$work/program.exe"
printf '#include <windows.h>\nint main(void) { Sleep(INFINITE); }\n' >"$work/older.c"
x86_64-w64-mingw32-gcc -o "$installed/ConfigOrtex.exe" "$work/older.c"
wine "$dir\\ConfigOrtex.exe" &
sleep 2
where="installer while an older program runs" expect_exit 3 "$setup" /S
where="uninstaller while an older program runs" expect_exit 3 cmd /c 'C:\uninstall-in-place.bat' >/dev/null
stop_wine
cp "$work/program.exe" "$installed/ConfigOrtex.exe"
where="installer and uninstaller while an older program runs" expect_installed
step "installer: the installer and the uninstaller refuse while a program without the mutex runs from the folder (exit code 3)"

# A file another program holds open without sharing stays: the uninstaller reports it (exit code 4)
# and keeps the program listed, to be uninstalled again.
printf '#include <windows.h>\nint main(void) { if (CreateFileA("%s", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL) == INVALID_HANDLE_VALUE) return 1; Sleep(INFINITE); }\n' \
  "${dir//\\/\\\\}\\\\LICENSE.txt" >"$work/hold.c"
x86_64-w64-mingw32-gcc -o "$work/hold.exe" "$work/hold.c"
wine "$work/hold.exe" &
sleep 2
where="uninstaller with a file held open" expect_exit 4 cmd /c 'C:\uninstall-in-place.bat' >/dev/null
[ -f "$installed/LICENSE.txt" ] || fail "uninstaller with a file held open: the held file is gone"
where="uninstaller with a file held open" expect_value "$uninstall_key" DisplayVersion "$version"
stop_wine
rm "$drive_c/uninstall-in-place.bat"
step "uninstaller: a file held open is reported (exit code 4) and the program stays listed"

step "installer: uninstall.exe /S"
# The user's file is not the program's: it goes before the comparison.
rm "$drive_c/users/Public/Documents/объект.okf"
wine 'C:\Program Files\ConfigOrtex\uninstall.exe' /S
wineserver -w
snapshot after
diff -u "$work/before.files" "$work/after.files" >"$work/files.diff" ||
  fail "uninstaller: files differ from before the installation:
$(cat "$work/files.diff")"
diff -u "$work/before.reg" "$work/after.reg" >"$work/registry.diff" ||
  fail "uninstaller: registry differs from before the installation:
$(head -60 "$work/registry.diff")"
step "uninstaller: every file and registry key is gone"

# --- an upgrade, where another program owns .okf --------------------------------------------------
# The older build is this one with one more file, which only its uninstaller knows.
step "upgrade: an older build with one more file"
older=$work/older-setup.exe
sed 's|^\(  SetOutPath "\$INSTDIR"\)$|\1\n  File "'"$work"'/older-only.dll"|
     s|^\(!macro UninstallFiles\)$|\1\n  Delete "$INSTDIR\\older-only.dll"|' "$build/files.nsh" >"$work/older-files.nsh"
echo older >"$work/older-only.dll"
makensis -V1 -INPUTCHARSET UTF8 -X'SetCompressor /FINAL zlib' -DVERSION=2.03 -DFILE_VERSION=2.3.0.0 \
  -DFILES="$work/older-files.nsh" -DICON="$build/windows/configortex.ico" -DOUTFILE="$older" \
  packaging/windows/ConfigOrtex.nsi
wine reg add 'HKLM\Software\Classes\.okf' /ve /d Other.okf /f /reg:64 >/dev/null
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.okf\UserChoice' \
  /v ProgId /d Other.okf /f >/dev/null
snapshot upgrade-before
where="older build" expect_exit 0 "$older" /S
[ -f "$installed/older-only.dll" ] || fail "upgrade: the older build did not install older-only.dll"
where="upgrade" expect_exit 0 "$setup" /S
where="upgrade" expect_installed
where=upgrade expect_value 'HKLM\Software\Classes\.okf' @ Other.okf
where=upgrade expect_value 'HKLM\Software\Classes\.okf\OpenWithProgids' ConfigOrtex.okf ''
where=upgrade expect_value "$uninstall_key" DisplayVersion "$version"
step "upgrade: exactly the new build's files, .okf still the other program's, offered under OpenWithProgids"
wine "$dir\\uninstall.exe" /S
wineserver -w
snapshot upgrade-after
for kind in files reg; do
  diff -u "$work/upgrade-before.$kind" "$work/upgrade-after.$kind" >"$work/upgrade.$kind.diff" ||
    fail "upgrade: after uninstalling, the $kind differ from before:
$(head -60 "$work/upgrade.$kind.diff")"
done
step "upgrade: uninstalled, the other program's .okf and the user's choice as they were"

# --- for the user alone ---------------------------------------------------------------------------
# /CurrentUser installs without administrator rights: into the user's %LOCALAPPDATA%\Programs, with
# the Start menu entry, the uninstall entry and the .okf file type of that user (HKCU) and nothing
# for the machine (HKLM as it was). Its uninstaller works on that installation.
snapshot user-before
where="for the user alone" expect_exit 0 "$setup" /S /CurrentUser
user_dir="$(wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')\Programs\ConfigOrtex"
installed=$(winepath -u "$user_dir")
where="for the user alone" expect_installed
user_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ConfigOrtex'
where="for the user alone" expect_value "$user_key" InstallLocation "$user_dir"
where="for the user alone" expect_value "$user_key" QuietUninstallString "\"$user_dir\\uninstall.exe\" /S"
# The machine gives .okf to another program (the upgrade's): for the user too it stays that program's.
where="for the user alone" expect_value 'HKCU\Software\Classes\.okf' @ ''
where="for the user alone" expect_value 'HKCU\Software\Classes\.okf\OpenWithProgids' ConfigOrtex.okf ''
where="for the user alone" expect_value 'HKCU\Software\Classes\ConfigOrtex.okf\shell\open\command' @ \
  "\"$user_dir\\ConfigOrtex.exe\" \"%1\""
[ -f "$(winepath -u "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")/Microsoft/Windows/Start Menu/Programs/Конфигуратор Ортекс.lnk" ] ||
  fail "for the user alone: no Start menu shortcut of the user"
snapshot user-installed
diff -u "$work/user-before.HKLM.txt" "$work/user-installed.HKLM.txt" >"$work/user-hklm.diff" ||
  fail "for the user alone: HKLM changed:
$(head -40 "$work/user-hklm.diff")"
step "for the user alone: files in $user_dir, the user's shortcut, uninstall entry and .okf type, HKLM untouched"
wine "$user_dir\\uninstall.exe" /S
wineserver -w
snapshot user-after
for kind in files reg; do
  diff -u "$work/user-before.$kind" "$work/user-after.$kind" >"$work/user.$kind.diff" ||
    fail "for the user alone: after uninstalling, the $kind differ from before:
$(head -60 "$work/user.$kind.diff")"
done
step "for the user alone: uninstalled, the prefix's files and registry as they were"
step "all checks passed"
