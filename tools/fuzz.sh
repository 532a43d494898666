#!/usr/bin/env bash
# Runs every fuzz target for a bounded time: tools/fuzz.sh <build folder> <seconds per target>.
# Corpora are kept in <build folder>/corpus, so a longer run later goes on from there.
set -euo pipefail
build=${1:-build-sanitize}
seconds=${2:-60}
for target in FrameReceiverFuzz KeyReplyFuzz ConfigFileFuzz KeyDescriptionsFuzz JournalFuzz; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s"
  rc=0
  "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="$build/" "$corpus" >"$build/$target.log" 2>&1 || rc=$?
  grep -E '^(Done|SUMMARY)|ERROR' "$build/$target.log" || true
  # libFuzzer exits non-zero on a crash, a leak or a time-out.
  if [ "$rc" -ne 0 ]; then
    tail -n 40 "$build/$target.log"
    echo "$target found a fault; see $build/crash-*, leak-* or timeout-*"
    exit 1
  fi
done
