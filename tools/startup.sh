#!/usr/bin/env bash
# Start-up of the program against a bare main window, from exec to the first expose on an Xvfb of the
# benchmark's own, median of 20 starts each, and the resident memory after it. Builds what it runs.
# STARTUP_COMPARE=/path/to/an/older/ConfigOrtex measures that one too, in the same turns.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target startup_bench -j"$(nproc)" >/dev/null
build/tests/startup_bench | sed -n '/^From exec/,/^$/p'
