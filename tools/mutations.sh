#!/usr/bin/env bash
# Mutation testing of the program's timing and of how it takes answers: each mutation below is applied
# alone to a copy of the sources, which is built and run through the normal test suite
# (ctest -LE "bench|long"). A mutation some test fails on is caught; one the whole suite passes with
# survived, and wants a test. Prints a table: mutation, caught or survived, the first failing test.
#
#   tools/mutations.sh [WORK_FOLDER]
#
# WORK_FOLDER (default ${TMPDIR:-/tmp}/ortex-mutations) keeps the copy and its build between runs, so
# that a later run builds only what changed. The sources of this tree are read once, at the start,
# and never touched. Builds use
# one job and everything runs at the lowest priority. ORTEX_MUTATIONS=PATTERN (an extended regular
# expression) runs only the mutations whose name it matches; ORTEX_MUTATIONS_BASELINE=0 skips the run
# of the unchanged copy, which must pass for the table to mean anything.
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-${TMPDIR:-/tmp}/ortex-mutations}
copy=$work/src
build=$work/build
logs=$work/logs
mkdir -p "$copy" "$logs"

# name | file | perl substitution (the file is read whole: /s lets . match line ends)
mutations=(
  "programming: pause before reading users back 500 -> 450 ms|device/ExpanderProgramming.cpp|s/kUsersReadBackPauseMs = 500;/kUsersReadBackPauseMs = 450;/"
  "programming: pause after the parameter write 300 -> 250 ms|device/ExpanderProgramming.cpp|s/kParametersWritePauseMs = 300;/kParametersWritePauseMs = 250;/"
  "programming: partitions' read-back pause 300 -> 250 ms|device/ExpanderProgramming.cpp|s/kPartitionsReadBackPauseMs = 300;/kPartitionsReadBackPauseMs = 250;/"
  "programming: parameters' read-back pause 200 -> 150 ms|device/ExpanderProgramming.cpp|s/kParametersReadBackPauseMs = 200;/kParametersReadBackPauseMs = 150;/"
  "programming: pause after a descriptor write 300 -> 250 ms|device/ExpanderProgramming.cpp|s/kDescriptorWritePauseMs = 300;/kDescriptorWritePauseMs = 250;/"
  "programming: a descriptor write taken as written whatever its status|device/ExpanderProgramming.cpp|s/if \(!answered \|\| Link::R\(1\) != kDescriptorWritten\)/if (!answered)/"
  "read: users' pause 500 -> 600 ms (lengthened)|device/ExpanderRead.cpp|s/kUsersPauseMs = 500;/kUsersPauseMs = 600;/"
  "read: parameters' pause 200 -> 150 ms|device/ExpanderRead.cpp|s/kParametersPauseMs = 200;/kParametersPauseMs = 150;/"
  "read: partitions' pause 300 -> 250 ms|device/ExpanderRead.cpp|s/kPartitionsPauseMs = 300;/kPartitionsPauseMs = 250;/"
  "read: local-line users' extra pause 1000 -> 900 ms|device/ExpanderRead.cpp|s/kLocalLineUsersExtraMs = 1000;/kLocalLineUsersExtraMs = 900;/"
  "read: code page pause 500 -> 450 ms|device/ExpanderRead.cpp|s/kCodePagePauseMs = 500;/kCodePagePauseMs = 450;/"
  "access: pause after status 9 500 -> 450 ms|link/Access.cpp|s/kBusyAccessPauseMs = 500;/kBusyAccessPauseMs = 450;/"
  "access: local-line pause 200 -> 150 ms|link/Access.cpp|s/kLocalLineBusyPauseMs = 200;/kLocalLineBusyPauseMs = 150;/"
  "link: the fetch's pause 50 -> 40 ms|link/Link.cpp|s/WaitMs\(kFetchPauseMs\)/WaitMs(kFetchPauseMs - 10)/"
  "link: pause after a busy status 50 -> 40 ms|link/Link.cpp|s/WaitMs\(kBusyPauseMs\)/WaitMs(kBusyPauseMs - 10)/"
  "link: pause after a wrong fetch answer 100 -> 80 ms|link/Link.cpp|s/WaitMs\(kWrongFetchPauseMs\)/WaitMs(kWrongFetchPauseMs - 20)/"
  "link: reply start deadline 200 -> 150 ms|link/Link.cpp|s/deadline = Clock::ticks\(\) \+ kStartDeadlineMs;/deadline = Clock::ticks() + kStartDeadlineMs - 50;/"
  "link: deadline of the rest of a reply 300 -> 250 ms|link/Link.cpp|s/restDeadline = Clock::ticks\(\) \+ kRestDeadlineMs;/restDeadline = Clock::ticks() + kRestDeadlineMs - 50;/"
  "link: frame-wise purge replaced by a plain purge|link/Link.cpp|s/(void purgeReceived\(SerialLine& line\) \{\n).*?\n\}\n/\$1    line.purgeInput();\n}\n/s"
  "link: a purge takes what waits for the rest of a frame that stopped coming|link/Link.cpp|s/    if \(s\.tail\.open\(\) && Clock::passed\(s\.tailDeadline\)\) s\.tail\.clear\(\);\n//"
  "link: every frame owed taken as the exchange's own|link/AnswerLedger.cpp|s/(Whose AnswerLedger::judge\(.*?\{\n    expire\(now\);\n)/\$1    if (!owed_.empty()) {\n        owed_.clear();\n        return Whose::Own;\n    }\n/s"
  "clock: the real clock ticking at half speed|base/Clock.cpp|s/timer_\.elapsed\(\)\)/timer_.elapsed() \/ 2)/; s/nsecsElapsed\(\) \/ 1000\);/nsecsElapsed() \/ 2000);/"
  "keys: pause after a refused status 100 -> 80 ms|keys/KeyLink.cpp|s/sleepMs\(kRefusedPauseMs\)/sleepMs(kRefusedPauseMs - 20)/"
  "keys: reply start deadline 200 -> 150 ms|keys/KeyLink.cpp|s/deadline = Clock::ticks\(\) \+ kStartDeadlineMs;/deadline = Clock::ticks() + kStartDeadlineMs - 50;/"
  "keys: length byte deadline 1000 -> 800 ms|keys/KeyLink.cpp|s/deadline = Clock::ticks\(\) \+ kLengthDeadlineMs;/deadline = Clock::ticks() + kLengthDeadlineMs - 200;/"
  "keys: body deadline 300 -> 250 ms|keys/KeyLink.cpp|s/deadline = Clock::ticks\(\) \+ kBodyDeadlineMs;/deadline = Clock::ticks() + kBodyDeadlineMs - 50;/"
  "keys: a purge takes what waits for the rest of a frame that stopped coming|keys/KeyLink.cpp|s/    if \(a\.tail\.open\(\) && Clock::passed\(a\.tailDeadline\)\) a\.tail\.clear\(\);[^\n]*\n//"
  "keys: frame-wise purge replaced by a plain purge|keys/KeyLink.cpp|s/(void purgeReceived\(SerialLine& line\) \{\n).*?\n\}\n/\$1    line.purgeInput();\n}\n/s"
  "site: a restore reporting a failed write as written|site/Restore.cpp|s/if \(!written\) \{/if (false) {/"
  "site: a restore writing every item, codes included|site/Restore.cpp|s/record\.wanted, false, held/record.wanted, true, held/"
  "site: a restore writing the file's codes where the expander's were not read|site/Restore.cpp|s/held->scope\.codes, \[&\]/true, [&]/"
)

# The copy takes this tree's sources as they are (committed or not); unchanged files keep their
# times, so that the build redoes only what differs.
sync_copy() {
  (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard) |
    while IFS= read -r -d '' f; do
      [ -f "$source_dir/$f" ] || continue
      if ! cmp -s "$source_dir/$f" "$copy/$f"; then
        mkdir -p "$(dirname "$copy/$f")"
        cp "$source_dir/$f" "$copy/$f"
      fi
    done
}

build_copy() {
  [ -f "$build/CMakeCache.txt" ] ||
    nice -n 19 cmake -S "$copy" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$logs/configure.log" 2>&1 ||
    return 1
  nice -n 19 cmake --build "$build" -j1 >"$logs/build.log" 2>&1
}

# Runs the suite; prints the first failing test ("" when all pass). Status 0 when all passed.
run_suite() {
  local log=$1
  (cd "$build" && QT_QPA_PLATFORM=offscreen nice -n 19 ctest -LE "bench|long" -j2 --stop-on-failure \
     --output-on-failure >"$log" 2>&1)
  local status=$?
  local failed
  failed=$(grep -m1 -oE '^\[  FAILED  \] [^ ,]+' "$log" | sed 's/^\[  FAILED  \] //')
  [ -n "$failed" ] || failed=$(grep -m1 -A1 'The following tests FAILED' "$log" | tail -n1 | sed -E 's/^[[:space:]]*[0-9]+ - //')
  echo "$failed"
  return $status
}

sync_copy
if ! build_copy; then
  echo "the unchanged copy does not build: see $logs" >&2
  exit 2
fi
if [ "${ORTEX_MUTATIONS_BASELINE:-1}" != 0 ]; then
  if ! failed=$(run_suite "$logs/baseline.log"); then
    echo "the unchanged copy fails its tests ($failed): see $logs/baseline.log" >&2
    exit 2
  fi
fi

results=()
caught=0
survived=0
index=0
for entry in "${mutations[@]}"; do
  IFS='|' read -r name file change <<<"$entry"
  index=$((index + 1))
  [[ -z "${ORTEX_MUTATIONS:-}" ]] || grep -qE -- "$ORTEX_MUTATIONS" <<<"$name" || continue
  target=$copy/$file
  cp "$target" "$work/original"
  perl -0pi -e "$change" "$target"
  if cmp -s "$work/original" "$target"; then
    results+=("$name|NOT APPLIED|the substitution matched nothing")
    continue
  fi
  log=$logs/mutation-$index.log
  if ! build_copy; then
    cp "$logs/build.log" "$log"
    results+=("$name|BUILD FAILED|$log")
  elif failed=$(run_suite "$log"); then
    results+=("$name|survived|")
    survived=$((survived + 1))
  else
    results+=("$name|caught|${failed:-see $log}")
    caught=$((caught + 1))
  fi
  cp "$work/original" "$target" # with a new time: the next build redoes it
  printf '%s\n' "${results[-1]}" >&2
done
build_copy >/dev/null 2>&1 # leaves the copy built as the sources are

printf '\n%-70s %-12s %s\n' "mutation" "result" "first failing test"
for r in "${results[@]}"; do
  IFS='|' read -r name result test <<<"$r"
  printf '%-70s %-12s %s\n' "$name" "$result" "$test"
done
printf '\n%d caught, %d survived\n' "$caught" "$survived"
[ "$survived" -eq 0 ]
