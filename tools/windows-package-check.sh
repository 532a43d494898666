#!/usr/bin/env bash
# Checks the Windows deliverables that tools/windows-package.sh made in build-windows/, under wine on
# an X server of its own, each in a fresh wine prefix with nothing else installed:
#   portable   the zip unpacked onto a drive of its own (a USB stick): the program starts, its main
#              window is "Конфигуратор Ортекс V2.04" with readable Russian captions, and it loads Qt's
#              Russian texts from the folder;
#   installer  "setup.exe /S" installs into Program Files: every file, the Start menu shortcut, the
#              uninstall entry and the .okf file type; opening an .okf file starts the program with
#              it; "uninstall.exe /S" then leaves the prefix's files and registry as they were.
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

export WINEARCH=win64 WINEDEBUG=-all
# No offer to download Mono or Gecko into the fresh prefix: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8

fresh_prefix() {
  export WINEPREFIX=$work/$1
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # Without a window manager wine draws the windows' frames and captions itself, as Windows does.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
}
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
# Qt opens the file only once it found it readable; the trace doubles every backslash.
grep 'CreateFileW L"' "$work/portable.log" >"$work/portable-opened.log" || true
grep -qF 'E:\\'"$folder_name"'\\translations\\qtbase_ru.qm" GENERIC_READ' "$work/portable-opened.log" ||
  fail "portable: the program did not open translations\\qtbase_ru.qm from its folder (trace in $work/portable.log)"
stop_wine
step "portable: main window \"$title\" shown, Russian captions read back, Qt's Russian texts loaded"

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
  # Wine registers its display driver anew each time it starts, under a new key and date.
  for key in HKLM HKCU HKCR; do
    wine reg export "$key" "$work/$1.$key.reg" /reg:64 /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$work/$1.$key.reg" | tr -d '\r' |
      awk '/^\[/ { video = index($0, "\\Control\\Video\\{") > 0 } !video && !/^"DriverDateData"=/' \
      >>"$work/$1.reg"
  done
}
snapshot before
step "installer: $(basename "$setup") /S"
wine "$setup" /S
wineserver -w
installed=$drive_c/Program\ Files/ConfigOrtex
[ -d "$installed" ] || fail "installer: nothing in C:\\Program Files\\ConfigOrtex"
expected=$( (cd "$stick/$folder_name" && find . -type f; echo ./uninstall.exe) | LC_ALL=C sort)
actual=$( (cd "$installed" && find . -type f) | LC_ALL=C sort)
[ "$expected" = "$actual" ] || fail "installer: installed files differ from the portable folder:
$(diff <(echo "$expected") <(echo "$actual"))"
for file in $actual; do
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
  [ "$got" = "$3" ] || fail "installer: $1 $2 is [$got], not [$3]"
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ConfigOrtex'
dir='C:\Program Files\ConfigOrtex'
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
stop_wine
step "installer: opening an .okf file starts the program with the file loaded"

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
step "all checks passed"
