#!/usr/bin/env bash
# Every test program as on a machine where other programs hold every port (the test start refuses
# every open): the tests that need a port fail, and none may crash or hang on it. Passes when each
# program ends with its test results (exit status 0 or 1), not on a signal or the watchdog.
#
#   refused-ports.sh PROGRAM...
set -uo pipefail
export ORTEX_TEST_REFUSE_PORTS=1 QT_QPA_PLATFORM=offscreen
# Early returns of failing tests are what this run is about, not their leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
status=0
for program in "$@"; do
  log=$(mktemp)
  "$program" > "$log" 2>&1
  code=$?
  failed=$(grep -c '^\[  FAILED  \] .* ms)$' "$log")
  if [ "$code" -le 1 ]; then
    echo "$(basename "$program"): ended with its results ($failed failed without a port)"
  else
    echo "$(basename "$program"): ended with status $code; the last lines:" >&2
    tail -n 20 "$log" >&2
    status=1
  fi
  rm -f "$log"
done
exit $status
