#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless:
#  1. the program and its tests (g++), all tests;
#  2. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer (clang), and the fuzz
#     targets, each fuzzed for a bounded time (ORTEX_FUZZ_SECONDS, default 60).
# ORTEX_QUICK=1 runs only step 1.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
(cd build && ctest -LE "bench|long" --output-on-failure -j"$jobs")

[ "${ORTEX_QUICK:-0}" = 1 ] && exit 0

CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORTEX_FUZZ=ON
cmake --build build-sanitize -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-sanitize && ctest -LE "bench|long" --output-on-failure -j"$jobs")
bash tools/fuzz.sh build-sanitize "${ORTEX_FUZZ_SECONDS:-60}"
