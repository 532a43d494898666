#!/usr/bin/env bash
# Proves the .deb on a clean Debian 12: builds it with cpack from a build folder, makes a throw-away
# root with debootstrap (bookworm, minbase) from this machine's Debian mirror, installs the package
# there with `apt install ./configortex_*.deb` (and its debug package beside it), starts ConfigOrtex
# on Xvfb inside the root until its main window is on the screen, then removes it with `apt remove`
# and checks that none of the packages' files is left. Downloads a whole base system: not part of the test suite.
# Usage (as root): tools/package-install-check.sh [build folder]   (default: build)
# ORTEX_MIRROR overrides the mirror; ORTEX_KEEP_ROOT=1 keeps the root for a look afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ "$(id -u)" -eq 0 ] || { echo "run as root: debootstrap and chroot need it" >&2; exit 2; }
[ -f "$build/CPackConfig.cmake" ] || { echo "no CPackConfig.cmake in $build: configure and build first" >&2; exit 2; }
command -v debootstrap >/dev/null ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap

# The Debian mirror this machine's apt uses (its first archive entry that is not the security one).
mirror=${ORTEX_MIRROR:-$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
  /etc/apt/sources.list.d/*.sources 2>/dev/null |
  awk '/^URIs:/ {print $2} /^deb / {for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i; break}}' |
  grep '/debian/\?$' | head -1 || true)}
mirror=${mirror:-http://deb.debian.org/debian}

work=$(mktemp -d /var/tmp/configortex-install.XXXXXX)
root=$work/root
cleanup() {
  for m in dev/pts dev proc; do
    mountpoint -q "$root/$m" && umount -l "$root/$m"
  done
  if [ "${ORTEX_KEEP_ROOT:-0}" = 1 ]; then echo "the root stays in $root"; else rm -rf "$work"; fi
}
trap cleanup EXIT
step() { echo "== $*"; }

step "building the package"
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
deb=$(echo "$work"/configortex_*.deb)
dbg=$(echo "$work"/configortex-dbg_*.deb)
[ -f "$deb" ] && [ -f "$dbg" ] || { echo "cpack made no configortex and configortex-dbg" >&2; exit 1; }
ls -l "$deb" "$dbg"

step "debootstrap bookworm (minbase) from $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -30 "$work/debootstrap.log"; exit 1; }
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/resolv.conf"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive "$@"; }
in_root apt-get update -q

step "apt install ./$(basename "$deb") ./$(basename "$dbg")"
cp "$deb" "$dbg" "$root/tmp/"
in_root sh -c "cd /tmp && apt-get install -y -q --no-install-recommends ./$(basename "$deb") ./$(basename "$dbg")"
in_root dpkg-query -W -f='${Package} ${Version} ${Status}\n' configortex configortex-dbg
in_root dpkg -L configortex configortex-dbg | sort >"$work/files"

step "starting ConfigOrtex on Xvfb"
# The X server and the tool that looks at its windows are the test's, installed after the package
# so that they cannot have supplied one of its dependencies.
in_root apt-get install -y -q --no-install-recommends xvfb x11-utils xauth
# The main window is the mapped top-level window of class "ConfigOrtex" (the key window is created
# hidden).
in_root sh -c '
  export DISPLAY=:42 XDG_RUNTIME_DIR=/tmp/runtime
  mkdir -m 700 -p $XDG_RUNTIME_DIR
  Xvfb $DISPLAY -screen 0 1280x1024x24 -nolisten tcp >/tmp/xvfb.log 2>&1 & xvfb=$!
  for i in $(seq 50); do [ -e /tmp/.X11-unix/X42 ] && break; sleep 0.2; done
  ConfigOrtex >/tmp/program.log 2>&1 & program=$!
  shown=""
  for i in $(seq 150); do
    for id in $(xwininfo -root -tree 2>/dev/null | awk "/\(\"ConfigOrtex\" / {print \$1}"); do
      xwininfo -id $id | grep -q "Map State: IsViewable" && shown=$id
    done
    [ -n "$shown" ] && break
    kill -0 $program 2>/dev/null || break
    sleep 0.2
  done
  [ -n "$shown" ] && xwininfo -root -tree | grep "^ *$shown "
  kill $program $xvfb 2>/dev/null; wait
  [ -n "$shown" ] || { echo "the main window did not appear"; cat /tmp/program.log; exit 1; }
'

step "apt remove configortex (and with it configortex-dbg)"
in_root apt-get remove -y -q configortex
for package in configortex configortex-dbg; do
  status=$(in_root dpkg-query -W -f='${db:Status-Abbrev}' $package 2>/dev/null || true)
  [ "${status:1:1}" != i ] || { echo "$package is still installed: $status" >&2; exit 1; }
done
left=()
while read -r path; do
  [ -e "$root$path" ] && [ ! -d "$root$path" ] && left+=("$path")
done <"$work/files"
[ ${#left[@]} -eq 0 ] || { printf 'left behind: %s\n' "${left[@]}" >&2; exit 1; }
echo "the package installed on a clean Debian 12, its main window came up, and it removed cleanly"
