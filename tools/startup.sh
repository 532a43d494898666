#!/usr/bin/env bash
# Start-up time of the program to its main window shown, median of 9 runs, and its resident memory.
set -euo pipefail
cd "$(dirname "$0")/.."
bench=${1:-build/tests/startup_bench}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for i in $(seq 9); do "$bench" | grep '^startup:'; done | sort -t' ' -k5 -n | tee /dev/stderr | sed -n 5p | sed 's/^/median: /'
