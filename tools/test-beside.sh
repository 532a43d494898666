#!/usr/bin/env bash
# The suite beside what shares a developer's machine, run after run:
#  1. RUNS times beside lock files of the machine's ttyS0 and ttyS1 naming a live process (another
#     program on COM1 and COM2); the locks must still be there afterwards;
#  2. RUNS times beside a second run of the same suite from a second build folder, at the same time;
#  3. with --load, RUNS times beside two busy loops.
# Prints how many runs were green. Long, so not part of tools/test.sh.
#
#   bash tools/test-beside.sh [--runs N] [--load] [--no-build] [BUILD [SECOND-BUILD]] [-- CTEST-ARGUMENTS]
#
# N defaults to 3, BUILD to build, SECOND-BUILD to build-beside; both are configured and built where
# needed (--no-build: they are built already). CTEST-ARGUMENTS go to every ctest run (-R link, say). Logs stay in BUILD/beside/.
# Exit status 0 when every run was green and the locks stayed.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=3
load=0
make=1
folders=()
ctest_args=()
while [ $# -gt 0 ]; do
  case $1 in
  --runs) runs=$2; shift 2 ;;
  --load) load=1; shift ;;
  --no-build) make=0; shift ;;
  --) shift; ctest_args=("$@"); break ;;
  *) folders+=("$1"); shift ;;
  esac
done
build=$(realpath -m "${folders[0]:-build}")
second=$(realpath -m "${folders[1]:-build-beside}")
logs=$build/beside
mkdir -p "$logs"
export QT_QPA_PLATFORM=offscreen

for folder in "$build" "$second"; do
  [ "$make" = 1 ] || break
  [ -e "$folder/CMakeCache.txt" ] || cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  nice -n 5 cmake --build "$folder" -j"$(nproc)" >/dev/null
done

# One run of the suite in the folder; the log is kept.
suite() {
  local folder=$1 log=$2
  (cd "$folder" && ctest -LE bench --output-on-failure -j2 "${ctest_args[@]}") >"$log" 2>&1
}

held=0
locks_kept=1
bash tests/support/held-locks.sh take "$logs/held-locks"
for ((i = 1; i <= runs; i++)); do
  if suite "$build" "$logs/held-$i.log"; then held=$((held + 1)); else echo "held locks, run $i: failed ($logs/held-$i.log)"; fi
done
bash tests/support/held-locks.sh check "$logs/held-locks" || locks_kept=0

first=0
other=0
for ((i = 1; i <= runs; i++)); do
  suite "$second" "$logs/second-$i.log" &
  beside=$!
  if suite "$build" "$logs/first-$i.log"; then first=$((first + 1)); else echo "beside a second run, run $i: failed ($logs/first-$i.log)"; fi
  if wait "$beside"; then other=$((other + 1)); else echo "the second run $i: failed ($logs/second-$i.log)"; fi
done

loaded=$runs
if [ "$load" = 1 ]; then
  loaded=0
  loops=()
  trap 'kill "${loops[@]}" 2>/dev/null || true' EXIT
  for _ in 1 2; do
    (while :; do :; done) &
    loops+=($!)
  done
  for ((i = 1; i <= runs; i++)); do
    if suite "$build" "$logs/load-$i.log"; then loaded=$((loaded + 1)); else echo "under load, run $i: failed ($logs/load-$i.log)"; fi
  done
  kill "${loops[@]}" 2>/dev/null || true
fi

echo "beside held port locks: $held of $runs runs green, $([ "$locks_kept" = 1 ] && echo "the locks still there" || echo "a lock GONE")"
echo "beside a second run of the suite: $first of $runs runs green (the second build's: $other of $runs)"
[ "$load" = 1 ] && echo "beside two busy loops: $loaded of $runs runs green"
[ "$held" = "$runs" ] && [ "$first" = "$runs" ] && [ "$other" = "$runs" ] && [ "$loaded" = "$runs" ] &&
  [ "$locks_kept" = 1 ]
