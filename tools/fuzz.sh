#!/usr/bin/env bash
# Runs every fuzz target for a bounded time: tools/fuzz.sh <build folder> <seconds per target>.
# Corpora are kept in <build folder>/corpus, so a longer run later goes on from there.
set -euo pipefail
build=${1:-build-sanitize}
seconds=${2:-60}
for target in FrameReceiverFuzz KeyReplyFuzz ConfigFileFuzz KeyDescriptionsFuzz; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s"
  "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="$build/" "$corpus" 2>&1 | grep -E '^(Done|==[0-9]+==|SUMMARY|INFO: -max_total_time)' || true
  # libFuzzer exits non-zero on a crash, a leak or a time-out; PIPESTATUS keeps that result.
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "$target found a fault; see $build/crash-* or leak-*"; exit 1; }
done
