#!/usr/bin/env bash
# Tests the Windows build under wine, once it is built:
#
#   bash tools/windows-test.sh [WINDOWS-BUILD [LINUX-BUILD]]
#
# WINDOWS-BUILD (default build-windows) is the cross build, configured with
#   "$(bash tools/windows-qt.sh --prefix)/bin/qt-cmake" -S . -B build-windows -G Ninja
# and built (its test programs and tests/serial_e2e_driver.exe included). LINUX-BUILD (default build)
# is a Linux build; the script configures it where needed and builds its two programs for the end-to-
# end check (tests/serial_e2e_devices, tests/serial_e2e_driver).
#
#  1. The wine suite: ctest in WINDOWS-BUILD runs every test program that needs no pseudo-terminal
#     under wine, in the build's own prefix (WINDOWS-BUILD/wineprefix), on the offscreen platform.
#  2. The serial path end to end: the Linux-built simulated control unit and key-programming device
#     serve pseudo-terminals that the prefix maps as COM1 and COM2; the Windows-built driver reads
#     expander 1 through COM1 and writes a key through COM2 with the program's own windows,
#     ORTEX_E2E_RUNS times in a row (default 20). Every run must leave the devices the same frames,
#     byte for byte, and the windows the same view as the Linux-built driver's run does.
#
# Exit status 0 when both passed. ORTEX_SKIP_SUITE=1 runs only the end-to-end check;
# ORTEX_E2E_PACED=1 has the devices send their replies at the line's speed, byte by byte.
#
# wine reads its port mapping (HKLM\Software\Wine\Ports) when its server starts and then rewrites
# the prefix's dosdevices links from it: a mapping changed afterwards, or a link written there by
# hand, leaves COM1 naming whatever the old link named. The mapping therefore names links of fixed
# place, which each run points at its devices' new pseudo-terminals, and the server is restarted once.
set -euo pipefail
cd "$(dirname "$0")/.."
windows=$(realpath "${1:-build-windows}")
linux=$(realpath -m "${2:-build}")
runs=${ORTEX_E2E_RUNS:-20}
run_wine="$windows/wine-run.sh"
driver="$windows/tests/serial_e2e_driver.exe"
for needed in "$run_wine" "$driver"; do
  [ -e "$needed" ] || { echo "windows-test: $needed is missing: build $windows first" >&2; exit 2; }
done
export WINEPREFIX="$windows/wineprefix" WINEDEBUG=-all

# 1. The wine suite.
if [ "${ORTEX_SKIP_SUITE:-0}" != 1 ]; then
  (cd "$windows" && ctest --output-on-failure -j"$(nproc)")
fi

# 2. The serial path end to end.
[ -e "$linux/CMakeCache.txt" ] || cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$linux" --target serial_e2e_devices serial_e2e_driver -j"$(nproc)" >/dev/null

work="$windows/serial-e2e" # the ports' links keep their place from run to run
rm -rf "$work"
mkdir -p "$work/ports"
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# wine takes a port mapping when its server starts. COM3 stands for a port that another program
# holds: Windows answers its open with "access denied", which wine gives for a file that the system
# lets nobody write, but not for a port opened twice.
refused=/proc/sys/kernel/osrelease
if [[ "$( (exec 3<>"$refused") 2>&1)" != *"Permission denied"* ]]; then
  echo "windows-test: $refused opens for writing here: no port to stand for a held one" >&2; exit 2
fi
"$run_wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$work/ports/ttyS0" /f >/dev/null
"$run_wine" reg add 'HKLM\Software\Wine\Ports' /v COM2 /t REG_SZ /d "$work/ports/ttyS1" /f >/dev/null
"$run_wine" reg add 'HKLM\Software\Wine\Ports' /v COM3 /t REG_SZ /d "$refused" /f >/dev/null
wineserver -k || true
wineserver -w || true

# One run: the devices start on fresh pseudo-terminals, the driver given as arguments runs against them,
# the devices stop and write their frames. The run's files go to the folder $1.
devices_pid=""
stop_devices() {
  exec 8>&- || true
  [ -n "$devices_pid" ] && wait "$devices_pid" || true
  devices_pid=""
}
trap 'stop_devices' EXIT
one_run() {
  local out=$1; shift
  mkdir -p "$out"
  rm -f "$work/ports/"*.frames "$work/ports/in"
  mkfifo "$work/ports/in"
  "$linux/tests/serial_e2e_devices" "$work/ports" ${ORTEX_E2E_PACED:+--paced} <"$work/ports/in" >"$out/devices.log" 2>&1 &
  devices_pid=$!
  exec 8>"$work/ports/in"
  for _ in $(seq 100); do grep -q ready "$out/devices.log" && break; sleep 0.1; done
  local status=0
  timeout 180 "$@" >"$out/driver.log" 2>&1 || status=$?
  stop_devices
  mv "$work/ports/"*.frames "$out/" 2>/dev/null || true
  return $status
}

one_run "$work/linux" "$linux/tests/serial_e2e_driver" "$work/linux/view.txt" --port-folder "$work/ports" ||
  { echo "windows-test: the Linux-built driver failed:" >&2; cat "$work/linux/driver.log" >&2; exit 1; }

passed=0
for n in $(seq "$runs"); do
  run="$work/windows-$n"
  started=$(date +%s%N)
  if one_run "$run" "$run_wine" "$driver" "$(windows_path "$run/view.txt")" --refused COM3 --listed-unopened yes; then
    same=1
    for file in control-unit.frames key-device.frames view.txt; do
      cmp -s "$work/linux/$file" "$run/$file" || { same=0; echo "run $n: $file differs from the Linux run's"; \
        diff "$work/linux/$file" "$run/$file" | head -20; }
    done
    [ $same = 1 ] && passed=$((passed + 1))
  else
    echo "run $n: the driver failed:"; cat "$run/driver.log"
  fi
  echo "run $n: $((($(date +%s%N) - started) / 1000000)) ms; $(grep -h "windows made" "$run/driver.log" || true)"
done
echo "serial path end to end: $passed of $runs runs as the Linux run"
[ "$passed" = "$runs" ]
