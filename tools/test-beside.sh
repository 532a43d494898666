#!/usr/bin/env bash
# The suite beside what shares a developer's machine:
#  1. RUNS times beside lock files of the machine's ttyS0 and ttyS1 naming a live process (another
#     program on COM1 and COM2); the locks must still be there at the end. This script takes them on
#     purpose, keeps them through every step, and gives them back however it ends;
#  2. RUNS times beside a second run of the same suite from a second build folder, at the same time;
#  3. with --load, SIDE runs at once (default 4), each from a copy of the build's test files in a
#     folder of its own (its working folder and ctest's records), beside two busy loops and a -j2 build
#     in a scratch build folder; all of it ends, and the scratch folder goes, with the script.
# Prints which runs were green. Long, so not part of tools/test.sh.
#
#   bash tools/test-beside.sh [--runs N] [--load] [--side SIDE] [--no-build] [BUILD [SECOND-BUILD]] [-- CTEST-ARGUMENTS]
#
# N defaults to 3 (0 leaves steps 1 and 2 out), BUILD to build, SECOND-BUILD to build-beside; both are
# configured and built where needed (--no-build: they are built already; the second is needed only when
# N > 0). CTEST-ARGUMENTS go to every ctest run (-R link, say). Logs stay in BUILD/beside/.
# Exit status 0 when every run was green and the locks stayed.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=3
load=0
side=4
make=1
folders=()
ctest_args=()
while [ $# -gt 0 ]; do
  case $1 in
  --runs) runs=$2; shift 2 ;;
  --load) load=1; shift ;;
  --side) side=$2; shift 2 ;;
  --no-build) make=0; shift ;;
  --) shift; ctest_args=("$@"); break ;;
  *) folders+=("$1"); shift ;;
  esac
done
build=$(realpath -m "${folders[0]:-build}")
second=$(realpath -m "${folders[1]:-build-beside}")
logs=$build/beside
scratch=$logs/load-build
mkdir -p "$logs"
export QT_QPA_PLATFORM=offscreen

# What this script starts in the background runs in process groups of its own; on the way out they
# end with everything they started, the scratch build goes, and the held locks are given back.
groups=()
cleanup() {
  local group
  for group in "${groups[@]}"; do kill -- "-$group" 2>/dev/null || true; done
  for group in "${groups[@]}"; do wait "$group" 2>/dev/null || true; done
  rm -rf "$scratch" 2>/dev/null || true
  bash tests/support/held-locks.sh check "$logs/held-locks" >/dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
start() {
  setsid "$@" &
  groups+=($!)
}

builds=("$build")
[ "$runs" -gt 0 ] && builds+=("$second")
for folder in "${builds[@]}"; do
  [ "$make" = 1 ] || break
  [ -e "$folder/CMakeCache.txt" ] || cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  nice -n 5 cmake --build "$folder" -j"$(nproc)" >/dev/null
done

# One run of the normal suite (as tools/test.sh runs it): "${suite[@]}" --test-dir FOLDER.
suite=(ctest -LE "bench|long" --output-on-failure -j2 "${ctest_args[@]}")

bash tests/support/held-locks.sh take "$logs/held-locks"

held=0
for ((i = 1; i <= runs; i++)); do
  if "${suite[@]}" --test-dir "$build" >"$logs/held-$i.log" 2>&1; then held=$((held + 1)); else echo "held locks, run $i: failed ($logs/held-$i.log)"; fi
done

first=0
other=0
for ((i = 1; i <= runs; i++)); do
  start "${suite[@]}" --test-dir "$second" >"$logs/second-$i.log" 2>&1
  beside=$!
  if "${suite[@]}" --test-dir "$build" >"$logs/first-$i.log" 2>&1; then first=$((first + 1)); else echo "beside a second run, run $i: failed ($logs/first-$i.log)"; fi
  if wait "$beside"; then other=$((other + 1)); else echo "the second run $i: failed ($logs/second-$i.log)"; fi
done

loaded=0
if [ "$load" = 1 ]; then
  for _ in 1 2; do start yes >/dev/null; done
  rm -rf "$scratch"
  start bash -c 'cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
                 while :; do cmake --build "$1" -j2 --clean-first || sleep 1; done' _ "$scratch" >/dev/null 2>&1
  # Each run's own copy of the build's test files: ctest runs the same programs, each test in the
  # run's own copy of its folder, and keeps its records there.
  pids=()
  for ((i = 1; i <= side; i++)); do
    copy=$logs/load-$i
    rm -rf "$copy"
    (cd "$build" && find . -name CTestTestfile.cmake -not -path "./beside/*") | while read -r file; do
      mkdir -p "$copy/$(dirname "$file")"
      cp "$build/$file" "$copy/$file"
    done
    start "${suite[@]}" --test-dir "$copy" >"$logs/load-$i.log" 2>&1
    pids+=($!)
  done
  for ((i = 1; i <= side; i++)); do
    if wait "${pids[i - 1]}"; then
      loaded=$((loaded + 1))
      echo "under load, run $i of $side: green"
    else
      echo "under load, run $i of $side: failed ($logs/load-$i.log)"
    fi
  done
fi

locks_kept=1
bash tests/support/held-locks.sh check "$logs/held-locks" || locks_kept=0

if [ "$runs" -gt 0 ]; then
  echo "beside held port locks: $held of $runs runs green"
  echo "beside a second run of the suite: $first of $runs runs green (the second build's: $other of $runs)"
fi
[ "$load" = 1 ] && echo "side by side under load (two busy loops, a -j2 build): $loaded of $side runs green"
echo "held port locks of ttyS0 and ttyS1: $([ "$locks_kept" = 1 ] && echo "still there" || echo "a lock GONE")"
[ "$held" = "$runs" ] && [ "$first" = "$runs" ] && [ "$other" = "$runs" ] &&
  { [ "$load" = 0 ] || [ "$loaded" = "$side" ]; } && [ "$locks_kept" = 1 ]
